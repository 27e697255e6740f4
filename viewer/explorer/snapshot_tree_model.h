// The Memory view's trees over a heap snapshot (snapshot_queries.h): the dominator tree
// (the biggest objects at the top, each object's children what it dominates, largest
// retained first), the classes by retained size (each class's children its biggest
// instances), the leak suspects (each with its accumulation point and its path from a GC
// root), and the answers for one object (its path to a GC root, who refers to it).
// Children come a page at a time with a "more" row after them, so a node of a million
// children opens at the cost of its first page. The queries are quick on a ready snapshot
// (tens of ms on ten million objects), so they run where they are asked, on the GUI thread.
#pragma once

#include <QAbstractItemModel>

#include <deque>
#include <memory>
#include <vector>

#include "object_roles.h"
#include "snapshot_replies.h"

class Snapshot;

class SnapshotTreeModel : public QAbstractItemModel {
    Q_OBJECT

public:
    enum Column { ObjectColumn, TypeColumn, ShallowColumn, RetainedColumn, ShareColumn, ColumnCount };
    enum Role {
        SnapshotObjectRole = FirstModelRole + 20,  // quint32: the snapshot's object; none for other rows
        ShareRole,      // double: the row's retained share of the heap, for the bar
        CopyTextRole,   // QString: the cell as a copied row gives it (sizes in exact bytes)
        MoreRole,       // bool: a "more" row, which lists the next page when activated
        SentenceRole,   // bool: a row that is one sentence (a note, a group, "more"), across the columns
    };
    enum class Mode { empty, dominators, classes, suspects, path, referrers };

    explicit SnapshotTreeModel(QObject* parent = nullptr, uint32_t pageSize = 200);
    ~SnapshotTreeModel() override;

    void setSnapshot(std::shared_ptr<const Snapshot> snapshot);
    const Snapshot* snapshot() const { return snapshot_.get(); }
    Mode mode() const { return mode_; }

    // What the model shows; each replaces what it showed.
    void showDominators();
    void showClasses();
    void showSuspects(double threshold = 0.10);
    void showPath(uint32_t object);
    void showReferrers(uint32_t object);
    void clear();

    // The next page of the "more" row's parent; false when index is no "more" row.
    bool loadMore(const QModelIndex& index);
    // The row of object among the loaded rows below parent, invalid when none.
    QModelIndex find(uint32_t object, const QModelIndex& parent = {}) const;
    // Opens the dominator tree down to object (the tree only): the chain of its
    // dominators, each listed far enough to show the next. Invalid for an unreachable one.
    QModelIndex reveal(uint32_t object);
    uint32_t objectAt(const QModelIndex& index) const;  // kNoObject for other rows
    uint32_t pageSize() const { return pageSize_; }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Node {
        enum class Kind { root, object, klass, group, more, note };
        enum class Children { none, dominated, instances, fixed };
        Kind kind = Kind::note;
        Children children = Children::none;
        int parent = -1;
        int row = 0;
        ObjectRow object;     // object rows
        HistogramRow klass;   // class rows
        QString caption;      // before the object ("next → "), a group's or note's text
        uint64_t total = 0;   // children in all, for dominated and instances
        uint64_t listed = 0;  // of them, listed so far
        bool fetched = false;
        std::vector<int> rows;
    };

    void reset(Mode mode);
    int add(int parent, Node node);
    int addObject(int parent, const ObjectRow& object, QString caption, uint64_t dominated);
    void addPath(int parent, const RootPathReply& path);
    // The next page of node's children, in or out of a model reset.
    void listPage(int node, bool notify);
    std::vector<Node> pageOf(const Node& node) const;
    Node& nodeAt(const QModelIndex& index);
    const Node& nodeAt(const QModelIndex& index) const;
    QModelIndex indexOf(int node, int column = 0) const;
    QString cellText(const Node& node, int column, bool exact) const;

    std::shared_ptr<const Snapshot> snapshot_;
    std::deque<Node> nodes_;  // node 0 is the invisible root; ids stay put as nodes are added
    Mode mode_ = Mode::empty;
    uint32_t pageSize_;
};

// "12.5 MiB" in the window; "13,107,200" (exact bytes) in a copied row.
QString sizeText(uint64_t bytes, bool exact);
