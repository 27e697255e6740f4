// The instances of one class, as the Classes view lists them under the histogram: fetched
// in pages through canFetchMore/fetchMore, so a view scrolled to the bottom asks for the
// next page, as in Qt's fetchmore example. With a text, only those that hold it (a
// String whose text contains it, an object with a String or primitive field that does).
// Sorted by any column, after listing the rest first when the list is not whole; a
// collection's size is its preview.
#pragma once

#include <QAbstractTableModel>

#include <string>
#include <unordered_map>
#include <vector>

#include "heap_source.h"
#include "object_roles.h"

class InstanceListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { ObjectColumn, TypeColumn, ValueColumn, SizeColumn, ColumnCount };

    static constexpr long long kPage = 500;
    // A sort lists at most this many instances first (the agent's largest page).
    static constexpr long long kSortAll = 100000;

    explicit InstanceListModel(HeapSource* source, QObject* parent = nullptr);

    // Forgets the rows and lists the instances of className from the first; with
    // contains, only those that hold that text.
    void showClass(std::string className, std::string contains = {});
    void clear();
    const std::string& className() const { return className_; }
    const std::string& contains() const { return contains_; }
    long long total() const { return total_; }
    // The instance shown at row, in the order shown.
    const ObjectRef* rowAt(int row) const;
    // What the Value column shows: the agent's preview, or a collection's size.
    QString valueText(const ObjectRef& ref) const;
    // One line on what is listed: how many of how many, loading, or why nothing.
    QString statusText() const { return status_; }
    int sortColumn() const { return sortColumn_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    // column -1 goes back to the heap's order, the agent's.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

Q_SIGNALS:
    void statusChanged(const QString& text);

private:
    void fetchPage(long long limit);
    void pageArrived(const Result<InstancesPage>& reply);
    void sizesArrived(const std::vector<std::string>& handles, const Result<std::vector<long long>>& reply);
    bool lessThan(int a, int b) const;  // rows_ indexes, by the sort column
    // Puts the rows in the sort's order, moving persistent indexes with them.
    void applyOrder();
    void showListed();
    void setStatus(QString text);
    QString what() const;

    HeapSource* source_;
    std::string className_;
    std::string contains_;
    std::vector<ObjectRef> rows_;  // in the heap's order, as listed
    std::vector<int> order_;       // shown row -> rows_ index; empty: the heap's order
    std::unordered_map<std::string, long long> sizes_;  // collections' sizes by handle
    long long total_ = -1;
    long long searched_ = -1;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    bool pending_ = false;
    bool failed_ = false;
    int generation_ = 0;  // replies for a class shown earlier are dropped
    QString status_;
};
