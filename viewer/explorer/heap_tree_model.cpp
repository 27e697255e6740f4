#include "heap_tree_model.h"

#include <QColor>
#include <QFont>
#include <QPersistentModelIndex>
#include <QPointer>

#include <algorithm>

#include "collection_reader.h"
#include "collection_rows.h"
#include "display_text.h"
#include "fields_choice.h"
#include "heap_rows.h"

namespace {

using Kind = HeapTreeItem::Kind;
using Fetch = HeapTreeItem::Fetch;
using Reading = HeapTreeItem::Reading;

long long elementCount(const ObjectView& view)
{
    return std::count_if(view.contents.begin(), view.contents.end(), [](const Slot& s) { return s.how == "element"; });
}

}  // namespace

HeapTreeModel::HeapTreeModel(HeapSource* source, Opens opens, QObject* parent)
    : QAbstractItemModel(parent),
      source_(source),
      opens_(opens),
      root_(std::make_unique<HeapTreeItem>(Kind::group, RowCells{}))
{
}

HeapTreeModel::~HeapTreeModel() = default;

void HeapTreeModel::setColumnTitle(Column column, const QString& title)
{
    titles_[column] = title;
    Q_EMIT headerDataChanged(Qt::Horizontal, column, column);
}

HeapTreeItem* HeapTreeModel::itemAt(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<HeapTreeItem*>(index.internalPointer()) : root_.get();
}

QModelIndex HeapTreeModel::indexOf(HeapTreeItem* item) const
{
    if (!item || item == root_.get())
        return {};
    return createIndex(item->row(), 0, item);
}

QModelIndex HeapTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column < 0 || column >= ColumnCount || (parent.isValid() && parent.column() != 0))
        return {};
    HeapTreeItem* child = itemAt(parent)->child(row);
    return child ? createIndex(row, column, child) : QModelIndex();
}

QModelIndex HeapTreeModel::parent(const QModelIndex& index) const
{
    if (!index.isValid())
        return {};
    return indexOf(itemAt(index)->parent());
}

int HeapTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return itemAt(parent)->childCount();
}

int HeapTreeModel::columnCount(const QModelIndex&) const
{
    return ColumnCount;
}

bool HeapTreeModel::hasChildren(const QModelIndex& parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return false;
    const HeapTreeItem* item = itemAt(parent);
    return item->childCount() > 0 || canFetchMore(parent) || item->fetch() == Fetch::pending;
}

bool HeapTreeModel::canFetchMore(const QModelIndex& parent) const
{
    if (!parent.isValid() || parent.column() != 0 || opens_ == Opens::nothing)
        return false;
    // Only the first fetch is the view's to start: later pages wait for the user, and a
    // failure for a retry, so a view laying out rows never sends requests in a loop.
    return itemAt(parent)->fetch() == Fetch::notYet;
}

void HeapTreeModel::fetchMore(const QModelIndex& parent)
{
    if (canFetchMore(parent))
        startFetch(parent, itemAt(parent));
}

void HeapTreeModel::fetchNextPage(const QModelIndex& moreRow)
{
    HeapTreeItem* more = itemAt(moreRow);
    if (!moreRow.isValid() || more->kind() != Kind::more)
        return;
    HeapTreeItem* paged = more->parent();
    if (paged->fetch() == Fetch::partial)
        startFetch(indexOf(paged), paged);
}

void HeapTreeModel::refetch(const QModelIndex& index)
{
    HeapTreeItem* item = itemAt(index);
    if (!index.isValid() || item->kind() != Kind::object || item->handle().empty() || opens_ == Opens::nothing ||
        item->fetch() == Fetch::given)
        return;
    if (item->childCount() > 0) {
        beginRemoveRows(indexOf(item), 0, item->childCount() - 1);
        item->removeChildren(0, item->childCount());
        endRemoveRows();
    }
    item->nextAsk();  // a request still out for the rows just dropped is not wanted
    item->setPaging(0, -1);
    item->setStandIn(false);
    item->setFetch(Fetch::notYet);
    startFetch(indexOf(item), item);
}

void HeapTreeModel::abandonPending()
{
    std::vector<HeapTreeItem*> pending;
    std::vector<HeapTreeItem*> open{root_.get()};
    while (!open.empty()) {
        HeapTreeItem* item = open.back();
        open.pop_back();
        if (item->fetch() == Fetch::pending)
            pending.push_back(item);
        for (int row = 0; row < item->childCount(); ++row)
            open.push_back(item->child(row));
    }
    for (HeapTreeItem* item : pending) {
        item->nextAsk();
        const QModelIndex at = indexOf(item);
        if (item->listed() > 0) {  // a next page was asked for: its "more" row comes back
            dropStandIn(at, item);
            item->setFetch(Fetch::partial);
            addMoreRow(at, item, item->reading() == Reading::entries ? QStringLiteral(" entries") : QString());
        } else {
            if (item->childCount() > 0) {
                beginRemoveRows(at, 0, item->childCount() - 1);
                item->removeChildren(0, item->childCount());
                endRemoveRows();
            }
            item->setStandIn(false);
            item->setFetch(Fetch::notYet);
        }
    }
}

bool HeapTreeModel::readsEntries(const HeapTreeItem* item) const
{
    return opens_ == Opens::contents && item->kind() == Kind::object && CollectionReader::readsType(item->wireType()) &&
           !(fieldsChoice_ && fieldsChoice_->wantsFields(item->handle()));
}

void HeapTreeModel::startFetch(const QModelIndex& parent, HeapTreeItem* item)
{
    const QModelIndex at = parent.siblingAtColumn(0);
    const bool firstPage = item->fetch() != Fetch::partial;
    if (!firstPage) {
        // The "more" row stands in while the next page comes.
        HeapTreeItem* more = item->lastChild();
        RowCells cells = more->cells();
        cells.name = QStringLiteral("loading more…");
        setCells(indexOf(more), cells);
    } else {
        QMetaObject::invokeMethod(
            this, [this, waiting = QPersistentModelIndex(at)] { showLoading(waiting); }, Qt::QueuedConnection);
    }
    item->setFetch(Fetch::pending);
    if (opens_ == Opens::referrers) {
        requestReferrers(at, item);
        return;
    }
    if (firstPage)
        item->setReading(readsEntries(item) ? Reading::entries : Reading::fields);
    if (item->reading() == Reading::entries)
        requestEntries(at, item);
    else
        requestSlots(at, item);
}

void HeapTreeModel::showLoading(const QModelIndex& parent)
{
    if (!parent.isValid())
        return;
    HeapTreeItem* item = itemAt(parent);
    if (item->fetch() != Fetch::pending || item->childCount() > 0)
        return;  // answered already
    beginInsertRows(parent, 0, 0);
    item->appendChild(noteRow(QStringLiteral("loading…")));
    item->setStandIn(true);
    endInsertRows();
}

void HeapTreeModel::requestSlots(const QModelIndex& parent, HeapTreeItem* item)
{
    ObjectQuery query{item->handle(), {}, {}};
    const long long offset = item->listed();
    if (offset > 0) {
        query.offset = offset;
        query.limit = kNextPage;
    } else {
        query.limit = kFirstPage;
    }
    QPointer<HeapTreeModel> self(this);
    QPersistentModelIndex at(parent);
    source_->fetchObject(query, [self, at, offset, ask = item->nextAsk()](const Result<ObjectView>& reply) {
        if (self && at.isValid() && self->itemAt(at)->asks() == ask)
            self->slotsArrived(at, offset, reply);
    });
}

void HeapTreeModel::requestEntries(const QModelIndex& parent, HeapTreeItem* item)
{
    const long long offset = item->listed();
    const CollectionQuery query{item->handle(), offset, offset > 0 ? kNextPage : kFirstPage};
    QPointer<HeapTreeModel> self(this);
    QPersistentModelIndex at(parent);
    source_->fetchCollection(query, [self, at, offset, ask = item->nextAsk()](const Result<CollectionPage>& reply) {
        if (self && at.isValid() && self->itemAt(at)->asks() == ask)
            self->entriesArrived(at, offset, reply);
    });
}

void HeapTreeModel::requestReferrers(const QModelIndex& parent, HeapTreeItem* item)
{
    ReferrersQuery query{item->handle(), {}};
    query.limit = item->listed() > 0 ? std::min(item->total(), kMostReferrers) : kFirstReferrers;
    QPointer<HeapTreeModel> self(this);
    QPersistentModelIndex at(parent);
    source_->fetchReferrers(query, [self, at, ask = item->nextAsk()](const Result<Referrers>& reply) {
        if (self && at.isValid() && self->itemAt(at)->asks() == ask)
            self->referrersArrived(at, reply);
    });
}

void HeapTreeModel::dropStandIn(const QModelIndex& parent, HeapTreeItem* item)
{
    if (!item->hasStandIn() || item->childCount() == 0)
        return;
    item->setStandIn(false);
    const int last = item->childCount() - 1;
    beginRemoveRows(parent, last, last);
    item->removeChildren(last, 1);
    endRemoveRows();
}

void HeapTreeModel::appendRows(const QModelIndex& parent, std::vector<std::unique_ptr<HeapTreeItem>> rows)
{
    if (rows.empty())
        return;
    HeapTreeItem* item = itemAt(parent);
    const int first = item->childCount();
    beginInsertRows(parent, first, first + static_cast<int>(rows.size()) - 1);
    for (auto& row : rows)
        item->appendChild(std::move(row));
    endInsertRows();
}

void HeapTreeModel::showFailure(const QModelIndex& parent, HeapTreeItem* item, const ClientError& error)
{
    item->setFetch(Fetch::failed);
    std::vector<std::unique_ptr<HeapTreeItem>> rows;
    rows.push_back(noteRow(QStringLiteral("could not read it: ") + fromWire(error.message),
                           QStringLiteral("F5 tries again")));
    appendRows(parent, std::move(rows));
}

void HeapTreeModel::addMoreRow(const QModelIndex& parent, HeapTreeItem* item, const QString& what)
{
    RowCells cells{countText(item->listed()) + QStringLiteral(" of ") + countText(item->total()) + what +
                       QStringLiteral(" — more"),
                   {}, QStringLiteral("Enter or double-click lists more"), -1, {}};
    std::vector<std::unique_ptr<HeapTreeItem>> rows;
    rows.push_back(std::make_unique<HeapTreeItem>(Kind::more, std::move(cells)));
    appendRows(parent, std::move(rows));
    item->setStandIn(true);
}

void HeapTreeModel::pageFailed(const QModelIndex& parent, HeapTreeItem* item, bool firstPage, const QString& what,
                               const ClientError& error)
{
    if (firstPage) {
        showFailure(parent, item, error);
        return;
    }
    item->setFetch(Fetch::partial);
    addMoreRow(parent, item, what);
}

void HeapTreeModel::slotsArrived(const QModelIndex& parent, long long offset, const Result<ObjectView>& reply)
{
    HeapTreeItem* item = itemAt(parent);
    if (item->fetch() != Fetch::pending)
        return;
    dropStandIn(parent, item);
    if (!reply.ok()) {  // the earlier pages stay; the "more" row comes back for a retry
        pageFailed(parent, item, offset == 0, QStringLiteral(" (the last page failed: ") + fromWire(reply.error.message) + ')',
                   reply.error);
        return;
    }
    const ObjectView& view = reply.value;
    if (offset == 0) {
        setCells(parent, refreshedCells(item->cells(), view.object));
        item->setWireType(view.object.type);
    }
    appendRows(parent, slotRows(view.contents, offset == 0));  // each page repeats the array's class

    if (view.length < 0) {
        item->setFetch(Fetch::done);
        return;
    }
    const long long listed = offset + elementCount(view);
    item->setPaging(listed, view.length);
    if (listed < view.length && elementCount(view) > 0) {
        item->setFetch(Fetch::partial);
        addMoreRow(parent, item, QString());
    } else {
        item->setFetch(Fetch::done);
    }
}

void HeapTreeModel::entriesArrived(const QModelIndex& parent, long long offset, const Result<CollectionPage>& reply)
{
    HeapTreeItem* item = itemAt(parent);
    if (item->fetch() != Fetch::pending || item->reading() != Reading::entries)
        return;
    dropStandIn(parent, item);
    if (!reply.ok()) {
        pageFailed(parent, item, offset == 0,
                   QStringLiteral(" entries (the last page failed: ") + fromWire(reply.error.message) + ')', reply.error);
        return;
    }
    const CollectionPage& page = reply.value;
    if (!page.read) {
        // Not read as a collection after all: its fields, after why when it is one laid
        // out otherwise than this JDK's collections are.
        item->setReading(Reading::fields);
        item->setPaging(0, -1);
        if (!page.note.empty()) {
            std::vector<std::unique_ptr<HeapTreeItem>> rows;
            rows.push_back(noteRow(fromWire(page.note),
                                   QStringLiteral("its entries are not listed rather than listed wrong")));
            appendRows(parent, std::move(rows));
        }
        requestSlots(parent, item);
        return;
    }
    if (offset == 0) {
        RowCells cells = item->cells();
        cells.value = collectionSizeText(page);
        setCells(parent, cells);
    }
    appendRows(parent, collectionRows(page));
    const long long listed = offset + static_cast<long long>(page.entries.size());
    item->setPaging(listed, page.size);
    if (!page.complete && !page.entries.empty()) {
        item->setFetch(Fetch::partial);
        addMoreRow(parent, item, QStringLiteral(" entries"));
    } else {
        item->setFetch(Fetch::done);
    }
}

void HeapTreeModel::markIfAbove(HeapTreeItem* parent, HeapTreeItem& row) const
{
    for (const HeapTreeItem* above = parent; above && above != root_.get(); above = above->parent()) {
        if (above->handle() != row.handle())
            continue;
        RowCells cells = row.cells();
        cells.value += QStringLiteral("  ↑ already above");
        cells.muted = true;
        cells.tip += (cells.tip.isEmpty() ? QString() : QStringLiteral("\n")) +
                     QStringLiteral("already above in this chain: its referrers are listed there");
        row.setCells(cells);
        row.setFetch(Fetch::given);
        return;
    }
}

void HeapTreeModel::referrersArrived(const QModelIndex& parent, const Result<Referrers>& reply)
{
    HeapTreeItem* item = itemAt(parent);
    if (item->fetch() != Fetch::pending)
        return;
    const bool firstPage = item->listed() == 0;
    dropStandIn(parent, item);
    if (!reply.ok()) {
        pageFailed(parent, item, firstPage, QStringLiteral(" referrers (the last request failed)"), reply.error);
        return;
    }
    const Referrers& refs = reply.value;
    std::vector<std::unique_ptr<HeapTreeItem>> rows;
    if (firstPage)
        for (const GcRoot& root : refs.roots)
            rows.push_back(gcRootRow(root));
    // A larger limit lists the first ones again, in the same heap order: keep the new.
    const long long known = item->listed();
    for (size_t i = static_cast<size_t>(known); i < refs.rows.size(); ++i) {
        rows.push_back(hopRow(refs.rows[i]));
        markIfAbove(item, *rows.back());
    }
    const long long listed = std::max<long long>(known, static_cast<long long>(refs.rows.size()));
    if (firstPage && rows.empty())
        rows.push_back(noteRow(QStringLiteral("nothing refers to it"),
                               QStringLiteral("garbage waiting for the next collection, or held only by what the agent "
                                              "does not report")));
    appendRows(parent, std::move(rows));
    item->setPaging(listed, refs.total);
    if (listed < refs.total && listed < kMostReferrers && listed > known) {
        item->setFetch(Fetch::partial);
        addMoreRow(parent, item, QStringLiteral(" referrers"));
    } else {
        item->setFetch(Fetch::done);
    }
}

QModelIndex HeapTreeModel::appendRow(const QModelIndex& parent, std::unique_ptr<HeapTreeItem> item)
{
    return insertRow(parent, rowCount(parent), std::move(item));
}

QModelIndex HeapTreeModel::insertRow(const QModelIndex& parent, int row, std::unique_ptr<HeapTreeItem> item)
{
    HeapTreeItem* holder = itemAt(parent);
    row = std::clamp(row, 0, holder->childCount());
    beginInsertRows(parent, row, row);
    HeapTreeItem* inserted = holder->insertChild(row, std::move(item));
    endInsertRows();
    return indexOf(inserted);
}

void HeapTreeModel::removeRow(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    HeapTreeItem* item = itemAt(index);
    beginRemoveRows(index.parent(), item->row(), item->row());
    item->parent()->removeChildren(item->row(), 1);
    endRemoveRows();
}

void HeapTreeModel::setCells(const QModelIndex& index, RowCells cells)
{
    if (!index.isValid())
        return;
    HeapTreeItem* item = itemAt(index);
    item->setCells(std::move(cells));
    Q_EMIT dataChanged(indexOf(item), indexOf(item).siblingAtColumn(ColumnCount - 1));
}

void HeapTreeModel::clear()
{
    beginResetModel();
    root_ = std::make_unique<HeapTreeItem>(Kind::group, RowCells{});
    endResetModel();
}

QVariant HeapTreeModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const HeapTreeItem* item = itemAt(index);
    const RowCells& cells = item->cells();
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case NameColumn: return cells.name;
        case TypeColumn: return cells.type;
        case ValueColumn: return cells.value;
        case SizeColumn: return cells.size >= 0 ? countText(cells.size) : QString();
        default: return {};
        }
    case Qt::ToolTipRole: {
        // The Type column may show a shortened name: its tip starts with the whole one.
        QString tip = index.column() == TypeColumn ? cells.type : QString();
        for (const QString& more : {cells.tip, item->handle().empty() ? QString()
                                                                       : QStringLiteral("handle ") + fromWire(item->handle())})
            if (!more.isEmpty())
                tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) + more;
        return tip.isEmpty() ? QVariant() : QVariant(tip);
    }
    case Qt::TextAlignmentRole:
        if (index.column() == SizeColumn)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return {};
    case Qt::FontRole:
        if (item->kind() == Kind::group) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        if (item->kind() == Kind::note || item->kind() == Kind::more) {
            QFont italic;
            italic.setItalic(true);
            return italic;
        }
        return {};
    case Qt::ForegroundRole:
        if (item->kind() == Kind::note && item->parent() && item->parent()->fetch() == Fetch::failed)
            return QColor(0xa0, 0x10, 0x10);
        if (item->kind() == Kind::note || item->kind() == Kind::more || cells.muted)
            return QColor(0x60, 0x60, 0x60);
        return {};
    case HandleRole: return fromWire(item->handle());
    case KindRole: return static_cast<int>(item->kind());
    case WireTypeRole: return fromWire(item->wireType());
    default: return {};
    }
}

QVariant HeapTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(section == SizeColumn ? Qt::AlignRight | Qt::AlignVCenter
                                                                       : Qt::AlignLeft | Qt::AlignVCenter));
    if (role != Qt::DisplayRole)
        return {};
    if (const auto title = titles_.find(section); title != titles_.end())
        return title->second;
    switch (section) {
    case NameColumn: return opens_ == Opens::referrers ? tr("Held through") : tr("Name");
    case TypeColumn: return tr("Type");
    case ValueColumn: return tr("Value");
    case SizeColumn: return tr("Size");
    default: return {};
    }
}

Qt::ItemFlags HeapTreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
