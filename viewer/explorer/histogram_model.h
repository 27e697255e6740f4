// The Classes view's table: one row per class of the histogram (class, instances, bytes,
// share of the heap). Sorting and filtering are a QSortFilterProxyModel's, on SortRole;
// a first click on a column sorts numbers largest first. With a heap snapshot at hand, a
// Retained column after them gives what each class's instances held in it.
#pragma once

#include <QAbstractTableModel>
#include <QHash>

#include "object_roles.h"
#include "reply_views.h"

class HistogramModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { ClassColumn, InstancesColumn, BytesColumn, ShareColumn, ColumnCount };
    static constexpr int RetainedColumn = ColumnCount;  // there only with a snapshot's sizes
    enum Role {
        SortRole = FirstModelRole,  // numbers as numbers, names as text
        ClassNameRole,              // QString: the class as the agent names it
    };

    explicit HistogramModel(QObject* parent = nullptr);

    void setHistogram(Histogram histogram);
    const Histogram& histogram() const { return histogram_; }
    const HistoRow* rowAt(int row) const;
    // Retained bytes per class, by the name as Java writes it ("int[]"), from a snapshot;
    // empty takes the Retained column away.
    void setRetained(QHash<QString, quint64> retained);
    bool hasRetained() const { return !retained_.isEmpty(); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    double share(const HistoRow& row) const;

    Histogram histogram_;
    QStringList names_;  // the Java-written class names, made once per histogram
    QHash<QString, quint64> retained_;
};
