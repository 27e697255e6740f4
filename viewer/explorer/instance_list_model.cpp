#include "instance_list_model.h"

#include <QPointer>

#include <algorithm>
#include <numeric>

#include "collection_reader.h"
#include "display_text.h"

namespace {

// A preview as a number when it is one (a boxed value, a collection's size).
bool numberIn(const QString& text, double& value)
{
    bool ok = false;
    value = text.toDouble(&ok);
    if (!ok && text.startsWith(QStringLiteral("size ")))
        value = text.mid(5).remove(',').toDouble(&ok);
    return ok;
}

}  // namespace

InstanceListModel::InstanceListModel(HeapSource* source, QObject* parent)
    : QAbstractTableModel(parent), source_(source)
{
}

void InstanceListModel::clear()
{
    beginResetModel();
    rows_.clear();
    order_.clear();
    sizes_.clear();
    className_.clear();
    contains_.clear();
    total_ = -1;
    searched_ = -1;
    pending_ = false;
    failed_ = false;
    ++generation_;
    endResetModel();
    setStatus({});
}

void InstanceListModel::showClass(std::string className, std::string contains)
{
    clear();  // by value: the names may be this model's own, which this empties
    className_ = std::move(className);
    contains_ = std::move(contains);
    fetchMore({});
}

const ObjectRef* InstanceListModel::rowAt(int row) const
{
    if (row < 0 || row >= rowCount())
        return nullptr;
    return &rows_[static_cast<size_t>(order_.empty() ? row : order_[static_cast<size_t>(row)])];
}

QString InstanceListModel::valueText(const ObjectRef& ref) const
{
    if (!ref.preview.empty())
        return fromWire(ref.preview);
    const auto size = sizes_.find(ref.handle);
    return size == sizes_.end() || size->second < 0 ? QString() : QStringLiteral("size ") + countText(size->second);
}

QString InstanceListModel::what() const
{
    QString text = javaTypeText(className_);
    if (!contains_.empty())
        text += QStringLiteral(" holding “") + fromWire(contains_) + QStringLiteral("”");
    return text;
}

bool InstanceListModel::canFetchMore(const QModelIndex& parent) const
{
    if (parent.isValid() || className_.empty() || pending_ || failed_)
        return false;
    return total_ < 0 || static_cast<long long>(rows_.size()) < total_;
}

void InstanceListModel::fetchMore(const QModelIndex& parent)
{
    if (canFetchMore(parent))
        fetchPage(kPage);
}

void InstanceListModel::fetchPage(long long limit)
{
    pending_ = true;
    InstancesQuery query;
    query.className = className_;
    query.offset = static_cast<long long>(rows_.size());
    query.limit = limit;
    query.contains = contains_;
    setStatus((rows_.empty() ? QStringLiteral("listing the instances of %1…")
                             : QStringLiteral("listing more instances of %1…"))
                  .arg(what()));
    QPointer<InstanceListModel> self(this);
    const int generation = generation_;
    source_->fetchInstances(query, [self, generation](const Result<InstancesPage>& reply) {
        if (self && self->generation_ == generation)
            self->pageArrived(reply);
    });
}

void InstanceListModel::pageArrived(const Result<InstancesPage>& reply)
{
    if (!reply.ok()) {
        pending_ = false;
        failed_ = true;
        setStatus(QStringLiteral("could not list the instances of %1: %2").arg(what(), fromWire(reply.error.message)));
        return;
    }
    const InstancesPage& page = reply.value;
    total_ = page.total;
    searched_ = figureCount(page.figures, "searched", -1);
    std::vector<std::string> collections;
    if (!page.rows.empty()) {
        const int first = rowCount();
        beginInsertRows({}, first, first + static_cast<int>(page.rows.size()) - 1);
        for (const ObjectRef& ref : page.rows) {
            if (!order_.empty())
                order_.push_back(static_cast<int>(rows_.size()));
            rows_.push_back(ref);
            if (ref.preview.empty() && CollectionReader::readsType(ref.type))
                collections.push_back(ref.handle);
        }
        endInsertRows();
    }
    pending_ = false;  // only now: views ask for more while they hear of the rows
    if (page.rows.empty() && static_cast<long long>(rows_.size()) < total_)
        total_ = static_cast<long long>(rows_.size());  // the heap shrank between pages
    if (sortColumn_ >= 0)
        applyOrder();
    showListed();
    if (!collections.empty()) {
        QPointer<InstanceListModel> self(this);
        const int generation = generation_;
        source_->fetchCollectionSizes(collections, [self, generation, collections](const auto& sizes) {
            if (self && self->generation_ == generation)
                self->sizesArrived(collections, sizes);
        });
    }
}

void InstanceListModel::sizesArrived(const std::vector<std::string>& handles,
                                     const Result<std::vector<long long>>& reply)
{
    if (!reply.ok() || reply.value.size() != handles.size())
        return;  // a preview the status bar has shown the failure of
    for (size_t i = 0; i < handles.size(); ++i)
        sizes_[handles[i]] = reply.value[i];
    if (sortColumn_ == ValueColumn)
        applyOrder();
    if (rowCount() > 0)
        Q_EMIT dataChanged(index(0, ValueColumn), index(rowCount() - 1, ValueColumn));
}

void InstanceListModel::showListed()
{
    QString text = QStringLiteral("%1 instances of %2").arg(countText(total_), what());
    if (!contains_.empty() && searched_ >= 0)
        text += QStringLiteral(" (%1 searched)").arg(countText(searched_));
    const long long listed = static_cast<long long>(rows_.size());
    if (listed < total_)
        text += sortColumn_ >= 0 && listed >= kSortAll
                    ? QStringLiteral(", the first %1 sorted: scroll down for more").arg(countText(listed))
                    : QStringLiteral(", %1 listed: scroll down for more").arg(countText(listed));
    setStatus(text);
}

void InstanceListModel::sort(int column, Qt::SortOrder order)
{
    sortColumn_ = column >= 0 && column < ColumnCount ? column : -1;
    sortOrder_ = order;
    applyOrder();
    // A sort of a list not whole lists the rest first, up to what one request gives.
    const long long listed = static_cast<long long>(rows_.size());
    if (sortColumn_ >= 0 && canFetchMore({}) && listed < kSortAll && total_ > listed) {
        fetchPage(std::min(total_, kSortAll) - listed);
        setStatus(QStringLiteral("sorting: listing the other %1 instances of %2 first…")
                      .arg(countText(std::min(total_, kSortAll) - listed), what()));
    }
}

bool InstanceListModel::lessThan(int a, int b) const
{
    const ObjectRef& x = rows_[static_cast<size_t>(a)];
    const ObjectRef& y = rows_[static_cast<size_t>(b)];
    switch (sortColumn_) {
    case ObjectColumn: return fromWire(x.handle).toULongLong(nullptr, 16) < fromWire(y.handle).toULongLong(nullptr, 16);
    case TypeColumn: return javaTypeText(x.type).compare(javaTypeText(y.type), Qt::CaseInsensitive) < 0;
    case SizeColumn: return x.size < y.size;
    case ValueColumn: {
        // Numbers in their order, before texts; texts case ignored; no value last.
        const QString vx = valueText(x);
        const QString vy = valueText(y);
        if (vx.isEmpty() != vy.isEmpty())
            return vy.isEmpty();
        double nx = 0, ny = 0;
        const bool isNumberX = numberIn(vx, nx);
        const bool isNumberY = numberIn(vy, ny);
        if (isNumberX != isNumberY)
            return isNumberX;
        if (isNumberX)
            return nx < ny;
        return vx.compare(vy, Qt::CaseInsensitive) < 0;
    }
    default: return false;
    }
}

void InstanceListModel::applyOrder()
{
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> shownBefore;  // the rows_ index each persistent index shows
    for (const QModelIndex& index : before)
        shownBefore.push_back(order_.empty() ? index.row() : order_[static_cast<size_t>(index.row())]);

    if (sortColumn_ < 0) {
        order_.clear();
    } else {
        order_.resize(rows_.size());
        std::iota(order_.begin(), order_.end(), 0);
        std::stable_sort(order_.begin(), order_.end(), [this](int a, int b) {
            return sortOrder_ == Qt::AscendingOrder ? lessThan(a, b) : lessThan(b, a);
        });
    }
    std::vector<int> shownAt(rows_.size());
    for (size_t row = 0; row < rows_.size(); ++row)
        shownAt[order_.empty() ? row : static_cast<size_t>(order_[row])] = static_cast<int>(row);
    QModelIndexList after;
    for (int i = 0; i < before.size(); ++i)
        after << index(shownAt[static_cast<size_t>(shownBefore[static_cast<size_t>(i)])], before[i].column());
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
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
        case ValueColumn: return valueText(*ref);
        case SizeColumn: return ref->size >= 0 ? countText(ref->size) : QString();
        default: return {};
        }
    case Qt::TextAlignmentRole:
        if (index.column() == SizeColumn)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return {};
    case Qt::ToolTipRole:
        if (index.column() == TypeColumn)
            return javaTypeText(ref->type) + QStringLiteral("\nEnter shows it in the Objects view");
        return QStringLiteral("Enter shows it in the Objects view");
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
    if (role == Qt::InitialSortOrderRole)  // the largest first, the first time a size is sorted
        return static_cast<int>(section == SizeColumn ? Qt::DescendingOrder : Qt::AscendingOrder);
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
