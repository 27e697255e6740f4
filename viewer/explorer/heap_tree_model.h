// The model behind the explorer's heap trees. Rows are HeapTreeItems; opening an object
// row fetches what it shows through canFetchMore/fetchMore, from a HeapSource, without
// blocking: a "loading" row stands in until the reply comes. In the Objects view an
// object opens to its slots (arrays in pages, with a "more" row), a collection of the
// JDK to its entries (in pages too) unless the user asked for its fields; in the
// Referrers view to the objects that refer to it, where one already above in the same
// chain is marked and not opened again.
#pragma once

#include <QAbstractItemModel>

#include <map>
#include <memory>

#include "heap_source.h"
#include "heap_tree_item.h"
#include "object_roles.h"

class FieldsChoice;

class HeapTreeModel : public QAbstractItemModel {
    Q_OBJECT

public:
    enum Column { NameColumn, TypeColumn, ValueColumn, SizeColumn, ColumnCount };
    enum Role { KindRole = FirstModelRole };  // int: HeapTreeItem::Kind; see object_roles.h for the rest
    // What an object row opens to.
    enum class Opens { contents, referrers, nothing };

    static constexpr long long kFirstPage = 1000;    // array elements or entries in the first page
    static constexpr long long kNextPage = 10000;    // and in each one after it
    static constexpr long long kFirstReferrers = 100;
    static constexpr long long kMostReferrers = 100000;  // the agent's largest limit

    HeapTreeModel(HeapSource* source, Opens opens, QObject* parent = nullptr);
    ~HeapTreeModel() override;

    // The collections to be read as their fields; without one, every collection of the
    // JDK opens to its entries.
    void setFieldsChoice(const FieldsChoice* choice) { fieldsChoice_ = choice; }
    // A header title of the model's own ("Held by", "Object" in the Path view).
    void setColumnTitle(Column column, const QString& title);

    QModelIndex appendRow(const QModelIndex& parent, std::unique_ptr<HeapTreeItem> item);
    QModelIndex insertRow(const QModelIndex& parent, int row, std::unique_ptr<HeapTreeItem> item);
    void removeRow(const QModelIndex& index);
    void setCells(const QModelIndex& index, RowCells cells);
    void clear();

    // Drops what index shows under it and fetches it again (F5 on a row, retry after
    // a failure, the fields of a collection asked for); the answer to a request still
    // out for it is dropped.
    void refetch(const QModelIndex& index);
    // Fetches the next page of the paged parent of a "more" row.
    void fetchNextPage(const QModelIndex& moreRow);
    // Requests that will not be answered (the connection was made anew): their rows go
    // back to how they were before they were asked for, to be asked again.
    void abandonPending();

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
    bool readsEntries(const HeapTreeItem* item) const;
    void requestSlots(const QModelIndex& parent, HeapTreeItem* item);
    void requestEntries(const QModelIndex& parent, HeapTreeItem* item);
    void requestReferrers(const QModelIndex& parent, HeapTreeItem* item);
    void slotsArrived(const QModelIndex& parent, long long offset, const Result<ObjectView>& reply);
    void entriesArrived(const QModelIndex& parent, long long offset, const Result<CollectionPage>& reply);
    void referrersArrived(const QModelIndex& parent, const Result<Referrers>& reply);
    // Marks a referrer that is one of its own row's ancestors: shown, not opened again.
    void markIfAbove(HeapTreeItem* parent, HeapTreeItem& row) const;
    // A reply that cannot be used: the earlier pages stay, with a "more" row to retry;
    // with none, a note says why.
    void pageFailed(const QModelIndex& parent, HeapTreeItem* item, bool firstPage, const QString& what,
                    const ClientError& error);
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
    const FieldsChoice* fieldsChoice_ = nullptr;
    std::map<int, QString> titles_;
    std::unique_ptr<HeapTreeItem> root_;
};
