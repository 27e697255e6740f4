#include "compare_model.h"

#include "display_text.h"
#include "snapshot_tree_model.h"

QString signedSizeText(int64_t bytes, bool exact)
{
    const uint64_t magnitude = bytes < 0 ? 0 - static_cast<uint64_t>(bytes) : static_cast<uint64_t>(bytes);
    const QString sign = bytes > 0 ? QStringLiteral("+") : bytes < 0 ? QStringLiteral("−") : QString();
    return sign + sizeText(magnitude, exact);
}

namespace {

QString signedCount(int64_t count)
{
    return (count > 0 ? QStringLiteral("+") : QString()) + countText(count);
}

}  // namespace

CompareModel::CompareModel(QObject* parent) : QAbstractTableModel(parent) {}

void CompareModel::setReply(CompareReply reply)
{
    beginResetModel();
    reply_ = std::move(reply);
    endResetModel();
}

int CompareModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(reply_.rows.size());
}

int CompareModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant CompareModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const ClassDelta& row = reply_.rows[static_cast<size_t>(index.row())];
    const bool exact = role == SnapshotTreeModel::CopyTextRole;
    if (role == Qt::DisplayRole || exact) {
        switch (index.column()) {
        case ClassColumn: return fromWire(row.type);
        case ObjectsColumn: return signedCount(row.objects);
        case ShallowColumn: return signedSizeText(row.shallow, exact);
        case RetainedColumn: return signedSizeText(row.retained, exact);
        case RetainedNowColumn: return sizeText(row.retainedAfter, exact);
        default: return {};
        }
    }
    if (role == Qt::TextAlignmentRole && index.column() != ClassColumn)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
    if (role == Qt::ToolTipRole && index.column() == ClassColumn)
        return tr("%1: now %2 objects, %3 shallow, %4 retained")
            .arg(fromWire(row.type), countText(static_cast<long long>(row.objectsAfter)),
                 bytesText(static_cast<long long>(row.shallowAfter)), bytesText(static_cast<long long>(row.retainedAfter)));
    return {};
}

QVariant CompareModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(section == ClassColumn ? Qt::AlignLeft | Qt::AlignVCenter
                                                                        : Qt::AlignRight | Qt::AlignVCenter));
    if (role != Qt::DisplayRole)
        return {};
    switch (section) {
    case ClassColumn: return tr("Class");
    case ObjectsColumn: return tr("Objects +/−");
    case ShallowColumn: return tr("Shallow +/−");
    case RetainedColumn: return tr("Retained +/−");
    case RetainedNowColumn: return tr("Retained now");
    default: return {};
    }
}
