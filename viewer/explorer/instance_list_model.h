// The instances of one class, as the Classes view lists them under the histogram: fetched
// in pages through canFetchMore/fetchMore, so a view scrolled to the bottom asks for the
// next page, as in Qt's fetchmore example.
#pragma once

#include <QAbstractTableModel>

#include <string>
#include <vector>

#include "heap_source.h"
#include "object_roles.h"

class InstanceListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { ObjectColumn, TypeColumn, ValueColumn, SizeColumn, ColumnCount };

    static constexpr long long kPage = 500;

    explicit InstanceListModel(HeapSource* source, QObject* parent = nullptr);

    // Forgets the rows and lists the instances of className from the first.
    void showClass(const std::string& className);
    void clear();
    const std::string& className() const { return className_; }
    long long total() const { return total_; }
    const ObjectRef* rowAt(int row) const;
    // One line on what is listed: how many of how many, loading, or why nothing.
    QString statusText() const { return status_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

Q_SIGNALS:
    void statusChanged(const QString& text);

private:
    void pageArrived(const Result<InstancesPage>& reply);
    void setStatus(QString text);

    HeapSource* source_;
    std::string className_;
    std::vector<ObjectRef> rows_;
    long long total_ = -1;
    bool pending_ = false;
    bool failed_ = false;
    int generation_ = 0;  // replies for a class shown earlier are dropped
    QString status_;
};
