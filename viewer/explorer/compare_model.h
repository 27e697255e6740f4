// The Memory view's comparison with an earlier snapshot of the same program: per class,
// the change in objects, shallow and retained bytes, largest growth first (as
// compareSnapshots orders them). Sizes read in KiB/MiB/GiB with a sign; a copied row
// gives exact bytes.
#pragma once

#include <QAbstractTableModel>

#include "object_roles.h"
#include "snapshot_replies.h"

class CompareModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { ClassColumn, ObjectsColumn, ShallowColumn, RetainedColumn, RetainedNowColumn, ColumnCount };

    explicit CompareModel(QObject* parent = nullptr);

    void setReply(CompareReply reply);
    const CompareReply& reply() const { return reply_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    CompareReply reply_;
};

// "+1.5 MiB", "−300 B", "0 B"; exact: "+1,572,864".
QString signedSizeText(int64_t bytes, bool exact);
