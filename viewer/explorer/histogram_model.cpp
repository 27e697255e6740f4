#include "histogram_model.h"

#include "display_text.h"

HistogramModel::HistogramModel(QObject* parent) : QAbstractTableModel(parent) {}

void HistogramModel::setHistogram(Histogram histogram)
{
    beginResetModel();
    histogram_ = std::move(histogram);
    names_.clear();
    names_.reserve(static_cast<qsizetype>(histogram_.rows.size()));
    for (const HistoRow& row : histogram_.rows)
        names_.append(javaTypeText(row.type));
    endResetModel();
}

const HistoRow* HistogramModel::rowAt(int row) const
{
    if (row < 0 || row >= rowCount())
        return nullptr;
    return &histogram_.rows[static_cast<size_t>(row)];
}

void HistogramModel::setRetained(QHash<QString, quint64> retained)
{
    beginResetModel();
    retained_ = std::move(retained);
    endResetModel();
}

int HistogramModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(histogram_.rows.size());
}

int HistogramModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount + (retained_.isEmpty() ? 0 : 1);
}

double HistogramModel::share(const HistoRow& row) const
{
    return histogram_.bytes > 0 && row.bytes >= 0 ? static_cast<double>(row.bytes) / histogram_.bytes : 0;
}

QVariant HistogramModel::data(const QModelIndex& index, int role) const
{
    const HistoRow* row = index.isValid() ? rowAt(index.row()) : nullptr;
    if (!row)
        return {};
    const int column = index.column();
    if (column == RetainedColumn) {
        const auto found = retained_.constFind(names_[index.row()]);
        if (found == retained_.constEnd())
            return {};
        if (role == Qt::DisplayRole)
            return bytesText(static_cast<long long>(*found));
        if (role == SortRole)
            return *found;
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        if (role == Qt::ToolTipRole)
            return tr("%1 bytes retained by its instances in the heap snapshot").arg(countText(static_cast<long long>(*found)));
        return {};
    }
    switch (role) {
    case Qt::DisplayRole:
        switch (column) {
        case ClassColumn: return names_[index.row()];
        case InstancesColumn: return countText(row->instances);
        case BytesColumn: return countText(row->bytes);
        case ShareColumn: return shareText(share(*row));
        default: return {};
        }
    case SortRole:
        switch (column) {
        case ClassColumn: return names_[index.row()];
        case InstancesColumn: return row->instances;
        case BytesColumn:
        case ShareColumn: return row->bytes;
        default: return {};
        }
    case Qt::TextAlignmentRole:
        if (column != ClassColumn)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return {};
    case Qt::ToolTipRole:
        if (column == ClassColumn)
            return QStringLiteral("%1\nEnter lists its instances").arg(fromWire(row->type));
        return {};
    case ClassNameRole: return fromWire(row->type);
    default: return {};
    }
}

QVariant HistogramModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(section == ClassColumn ? Qt::AlignLeft | Qt::AlignVCenter
                                                                        : Qt::AlignRight | Qt::AlignVCenter));
    if (role == Qt::InitialSortOrderRole)  // counts and sizes largest first, names from A
        return static_cast<int>(section == ClassColumn ? Qt::AscendingOrder : Qt::DescendingOrder);
    if (role != Qt::DisplayRole)
        return {};
    switch (section) {
    case ClassColumn: return tr("Class");
    case InstancesColumn: return tr("Instances");
    case BytesColumn: return tr("Bytes");
    case ShareColumn: return tr("Share");
    case RetainedColumn: return tr("Retained (snapshot)");
    default: return {};
    }
}
