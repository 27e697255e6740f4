// The object tree as an item model: one root "classes", object nodes below it, and a
// placeholder "0" under every object node not yet expanded, so the view offers to
// expand it. Placeholders are not stored; an index marks them in its id's low bit.
#pragma once

#include <QAbstractItemModel>

#include <string>
#include <vector>

#include "object_node.h"

class ObjectTreeModel : public QAbstractItemModel {
    Q_OBJECT

public:
    static constexpr const char* kPlaceholderCaption = "0";

    explicit ObjectTreeModel(QObject* parent = nullptr);

    // Adds the only top-level node.
    void createRoot(const QString& caption);
    QModelIndex rootIndex() const;

    bool isPlaceholder(const QModelIndex& index) const;
    // The handle text of an object node; empty for the root and placeholders.
    std::string handle(const QModelIndex& index) const;

    // Deletes every child of parent (its placeholder or older children with their
    // subtrees), leaving it without children.
    void removeChildren(const QModelIndex& parent);
    // Gives a childless parent the nodes (caption and handle set), each showing a placeholder.
    void setChildren(const QModelIndex& parent, std::vector<ObjectNode> nodes);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    // The node an index shows; for a placeholder, the node it stands under.
    static ObjectNode* nodeOf(const QModelIndex& index);
    QModelIndex indexOf(ObjectNode* node) const;

    ObjectNode root_;
    bool hasRoot_ = false;
};
