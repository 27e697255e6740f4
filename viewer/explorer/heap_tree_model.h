// The model behind the explorer's heap trees. Rows are HeapTreeItems; opening an object
// row fetches what it shows through canFetchMore/fetchMore, from a HeapSource, without
// blocking: a "loading" row stands in until the reply comes. In the Objects view an
// object opens to its slots (arrays in pages, with a "more" row); in the Referrers view
// to the objects that refer to it.
#pragma once

#include <QAbstractItemModel>

#include <memory>

#include "heap_source.h"
#include "heap_tree_item.h"
#include "object_roles.h"

class HeapTreeModel : public QAbstractItemModel {
    Q_OBJECT

public:
    enum Column { NameColumn, TypeColumn, ValueColumn, SizeColumn, ColumnCount };
    enum Role { KindRole = FirstModelRole };  // int: HeapTreeItem::Kind; see object_roles.h for the rest
    // What an object row opens to.
    enum class Opens { contents, referrers, nothing };

    static constexpr long long kFirstPage = 1000;    // array elements in the first page
    static constexpr long long kNextPage = 10000;    // and in each one after it
    static constexpr long long kFirstReferrers = 100;
    static constexpr long long kMostReferrers = 100000;  // the agent's largest limit

    HeapTreeModel(HeapSource* source, Opens opens, QObject* parent = nullptr);
    ~HeapTreeModel() override;

    QModelIndex appendRow(const QModelIndex& parent, std::unique_ptr<HeapTreeItem> item);
    QModelIndex insertRow(const QModelIndex& parent, int row, std::unique_ptr<HeapTreeItem> item);
    void removeRow(const QModelIndex& index);
    void setCells(const QModelIndex& index, RowCells cells);
    void clear();

    // Drops what index shows under it and fetches it again (F5 on a row, retry after
    // a failure). Does nothing while a request for it is out.
    void refetch(const QModelIndex& index);
    // Fetches the next page of the paged parent of a "more" row.
    void fetchNextPage(const QModelIndex& moreRow);

    HeapTreeItem* itemAt(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

private:
    QModelIndex indexOf(HeapTreeItem* item) const;
    void startFetch(const QModelIndex& parent, HeapTreeItem* item);
    void requestSlots(const QModelIndex& parent, HeapTreeItem* item);
    void requestReferrers(const QModelIndex& parent, HeapTreeItem* item);
    void slotsArrived(const QModelIndex& parent, long long offset, const Result<ObjectView>& reply);
    void referrersArrived(const QModelIndex& parent, const Result<Referrers>& reply);
    // Adds the "loading…" row under a parent still waiting for its first reply; later,
    // since views call fetchMore while the model tells them of other changes.
    void showLoading(const QModelIndex& parent);
    // Takes away the row that stood in while the request was out.
    void dropStandIn(const QModelIndex& parent, HeapTreeItem* item);
    void appendRows(const QModelIndex& parent, std::vector<std::unique_ptr<HeapTreeItem>> rows);
    void showFailure(const QModelIndex& parent, HeapTreeItem* item, const ClientError& error);
    void addMoreRow(const QModelIndex& parent, HeapTreeItem* item, const QString& what);

    HeapSource* source_;
    Opens opens_;
    std::unique_ptr<HeapTreeItem> root_;
};
