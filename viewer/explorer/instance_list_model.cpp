#include "instance_list_model.h"

#include <QPointer>

#include "display_text.h"

InstanceListModel::InstanceListModel(HeapSource* source, QObject* parent)
    : QAbstractTableModel(parent), source_(source)
{
}

void InstanceListModel::clear()
{
    beginResetModel();
    rows_.clear();
    className_.clear();
    total_ = -1;
    pending_ = false;
    failed_ = false;
    ++generation_;
    endResetModel();
    setStatus({});
}

void InstanceListModel::showClass(const std::string& className)
{
    clear();
    className_ = className;
    fetchMore({});
}

const ObjectRef* InstanceListModel::rowAt(int row) const
{
    if (row < 0 || row >= rowCount())
        return nullptr;
    return &rows_[static_cast<size_t>(row)];
}

bool InstanceListModel::canFetchMore(const QModelIndex& parent) const
{
    if (parent.isValid() || className_.empty() || pending_ || failed_)
        return false;
    return total_ < 0 || static_cast<long long>(rows_.size()) < total_;
}

void InstanceListModel::fetchMore(const QModelIndex& parent)
{
    if (!canFetchMore(parent))
        return;
    pending_ = true;
    InstancesQuery query;
    query.className = className_;
    query.offset = static_cast<long long>(rows_.size());
    query.limit = kPage;
    setStatus(rows_.empty() ? QStringLiteral("listing the instances of %1…").arg(javaTypeText(className_))
                            : QStringLiteral("listing more instances of %1…").arg(javaTypeText(className_)));
    QPointer<InstanceListModel> self(this);
    const int generation = generation_;
    source_->fetchInstances(query, [self, generation](const Result<InstancesPage>& reply) {
        if (self && self->generation_ == generation)
            self->pageArrived(reply);
    });
}

void InstanceListModel::pageArrived(const Result<InstancesPage>& reply)
{
    const QString name = javaTypeText(className_);
    if (!reply.ok()) {
        pending_ = false;
        failed_ = true;
        setStatus(QStringLiteral("could not list the instances of %1: %2").arg(name, fromWire(reply.error.message)));
        return;
    }
    const InstancesPage& page = reply.value;
    total_ = page.total;
    if (!page.rows.empty()) {
        const int first = rowCount();
        beginInsertRows({}, first, first + static_cast<int>(page.rows.size()) - 1);
        rows_.insert(rows_.end(), page.rows.begin(), page.rows.end());
        endInsertRows();
    }
    pending_ = false;  // only now: views ask for more while they hear of the rows
    if (page.rows.empty() && static_cast<long long>(rows_.size()) < total_)
        total_ = static_cast<long long>(rows_.size());  // the heap shrank between pages
    QString text = QStringLiteral("%1 instances of %2").arg(countText(total_), name);
    if (static_cast<long long>(rows_.size()) < total_)
        text += QStringLiteral(", %1 listed: scroll down for more").arg(countText(static_cast<long long>(rows_.size())));
    setStatus(text);
}

void InstanceListModel::setStatus(QString text)
{
    if (text == status_)
        return;
    status_ = std::move(text);
    Q_EMIT statusChanged(status_);
}

int InstanceListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int InstanceListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant InstanceListModel::data(const QModelIndex& index, int role) const
{
    const ObjectRef* ref = index.isValid() ? rowAt(index.row()) : nullptr;
    if (!ref)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case ObjectColumn: return '@' + fromWire(ref->handle);
        case TypeColumn: return javaTypeText(ref->type);
        case ValueColumn: return fromWire(ref->preview);
        case SizeColumn: return ref->size >= 0 ? countText(ref->size) : QString();
        default: return {};
        }
    case Qt::TextAlignmentRole:
        if (index.column() == SizeColumn)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return {};
    case Qt::ToolTipRole: return QStringLiteral("Enter shows it in the Objects view");
    case HandleRole: return fromWire(ref->handle);
    case WireTypeRole: return fromWire(ref->type);
    default: return {};
    }
}

QVariant InstanceListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(section == SizeColumn ? Qt::AlignRight | Qt::AlignVCenter
                                                                       : Qt::AlignLeft | Qt::AlignVCenter));
    if (role != Qt::DisplayRole)
        return {};
    switch (section) {
    case ObjectColumn: return tr("Object");
    case TypeColumn: return tr("Type");
    case ValueColumn: return tr("Value");
    case SizeColumn: return tr("Size");
    default: return {};
    }
}
