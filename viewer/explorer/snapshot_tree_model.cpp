#include "snapshot_tree_model.h"

#include <QFont>

#include <algorithm>

#include "display_text.h"
#include "snapshot_queries.h"

namespace {

// The Object column of an object row: "s1234", with its preview when it has one.
QString objectCaption(const ObjectRow& object)
{
    QString text = fromWire(object.id);
    if (!object.preview.empty())
        text += QStringLiteral("  ") + fromWire(object.preview);
    return text;
}

}  // namespace

QString sizeText(uint64_t bytes, bool exact)
{
    return exact ? countText(static_cast<long long>(bytes)) : bytesText(static_cast<long long>(bytes));
}

SnapshotTreeModel::SnapshotTreeModel(QObject* parent, uint32_t pageSize)
    : QAbstractItemModel(parent), pageSize_(std::max<uint32_t>(pageSize, 1))
{
    nodes_.emplace_back();
    nodes_.front().kind = Node::Kind::root;
}

SnapshotTreeModel::~SnapshotTreeModel() = default;

void SnapshotTreeModel::setSnapshot(std::shared_ptr<const Snapshot> snapshot)
{
    reset(Mode::empty);
    endResetModel();
    snapshot_ = std::move(snapshot);
}

void SnapshotTreeModel::clear()
{
    reset(Mode::empty);
    endResetModel();
}

void SnapshotTreeModel::reset(Mode mode)
{
    beginResetModel();
    nodes_.clear();
    nodes_.emplace_back();
    nodes_.front().kind = Node::Kind::root;
    nodes_.front().fetched = true;
    mode_ = snapshot_ ? mode : Mode::empty;
}

int SnapshotTreeModel::add(int parent, Node node)
{
    Node& p = nodes_[static_cast<size_t>(parent)];
    node.parent = parent;
    node.row = static_cast<int>(p.rows.size());
    const int id = static_cast<int>(nodes_.size());
    nodes_.push_back(std::move(node));
    nodes_[static_cast<size_t>(parent)].rows.push_back(id);
    return id;
}

int SnapshotTreeModel::addObject(int parent, const ObjectRow& object, QString caption, uint64_t dominated)
{
    Node node;
    node.kind = Node::Kind::object;
    node.object = object;
    node.caption = std::move(caption);
    node.total = dominated;
    node.children = dominated > 0 ? Node::Children::dominated : Node::Children::none;
    return add(parent, std::move(node));
}

void SnapshotTreeModel::showDominators()
{
    reset(Mode::dominators);
    if (snapshot_) {
        Node& root = nodes_.front();
        root.children = Node::Children::dominated;
        root.object.object = kVirtualRoot;
        root.fetched = false;
        root.total = snapshot_->analysis().tree.childCount(kVirtualRoot);
        listPage(0, false);
    }
    endResetModel();
}

void SnapshotTreeModel::showClasses()
{
    reset(Mode::classes);
    if (snapshot_) {
        HistogramQuery query;
        query.byRetained = true;
        for (const HistogramRow& row : snapshot_->histogram(query).rows) {
            Node node;
            node.kind = Node::Kind::klass;
            node.klass = row;
            node.total = row.objects;
            node.children = row.objects > 0 ? Node::Children::instances : Node::Children::none;
            add(0, std::move(node));
        }
    }
    endResetModel();
}

void SnapshotTreeModel::addPath(int parent, const RootPathReply& path)
{
    if (path.steps.empty()) {
        Node note;
        note.caption = tr("no chain of references from a GC root reaches it");
        add(parent, std::move(note));
        return;
    }
    if (!path.roots.empty()) {
        Node root;
        root.caption = tr("GC root: %1").arg(fromWire(path.roots.front().description));
        add(parent, std::move(root));
    }
    for (const PathHop& hop : path.steps) {
        const QString via = hop.via.empty() ? QString() : fromWire(hop.via) + (hop.weak ? tr(" (weak) → ") : QStringLiteral(" → "));
        const int id = addObject(parent, hop.object, via, 0);
        nodes_[static_cast<size_t>(id)].children = Node::Children::none;
    }
}

void SnapshotTreeModel::showSuspects(double threshold)
{
    reset(Mode::suspects);
    if (snapshot_) {
        const SuspectsReply reply = snapshot_->suspects(threshold);
        if (reply.rows.empty()) {
            Node note;
            note.caption = tr("no object retains %1 of the heap or more").arg(shareText(threshold));
            add(0, std::move(note));
        }
        for (const BigObjectRow& big : reply.rows) {
            Node sentence;
            sentence.kind = Node::Kind::group;
            sentence.caption = fromWire(big.sentence);
            sentence.children = Node::Children::fixed;
            sentence.fetched = true;
            const int suspect = add(0, std::move(sentence));
            addObject(suspect, big.object, tr("the object: "), big.object.reachable ? snapshot_->analysis().tree.childCount(big.object.object) : 0);
            addObject(suspect, big.accumulation, tr("accumulation point: "), big.accumulationChildren);
            Node group;
            group.kind = Node::Kind::group;
            const size_t steps = big.path.steps.size();
            group.caption = steps == 1 ? tr("path from a GC root (1 step)")
                                       : tr("path from a GC root (%1 steps)").arg(static_cast<qulonglong>(steps));
            group.children = Node::Children::fixed;
            group.fetched = true;
            const int g = add(suspect, std::move(group));
            addPath(g, big.path);
        }
    }
    endResetModel();
}

void SnapshotTreeModel::showPath(uint32_t object)
{
    reset(Mode::path);
    if (snapshot_)
        addPath(0, snapshot_->path(object));
    endResetModel();
}

void SnapshotTreeModel::showReferrers(uint32_t object)
{
    reset(Mode::referrers);
    if (snapshot_) {
        const ReferrersReply reply = snapshot_->referrers(object, pageSize_);
        for (const RootRow& root : reply.roots) {
            Node node;
            node.caption = tr("GC root: %1").arg(fromWire(root.description));
            add(0, std::move(node));
        }
        for (const ReferrerRow& referrer : reply.rows) {
            const QString via = fromWire(referrer.via) + (referrer.weak ? tr(" (weak)") : QString());
            const int id = addObject(0, referrer.holder, tr("holds it by %1: ").arg(via), 0);
            nodes_[static_cast<size_t>(id)].children = Node::Children::none;
        }
        if (reply.total > reply.rows.size()) {
            Node note;
            note.caption = tr("… and %1 more references").arg(countText(static_cast<long long>(reply.total - reply.rows.size())));
            add(0, std::move(note));
        } else if (reply.rows.empty() && reply.roots.empty()) {
            Node note;
            note.caption = tr("nothing refers to it");
            add(0, std::move(note));
        }
    }
    endResetModel();
}

std::vector<SnapshotTreeModel::Node> SnapshotTreeModel::pageOf(const Node& node) const
{
    std::vector<Node> page;
    if (node.children == Node::Children::dominated) {
        const DominatorsReply reply = snapshot_->dominators(node.object.object, node.listed, pageSize_);
        for (const DominatedRow& row : reply.rows) {
            Node child;
            child.kind = Node::Kind::object;
            child.object = row.object;
            child.total = row.dominated;
            child.children = row.dominated > 0 ? Node::Children::dominated : Node::Children::none;
            page.push_back(std::move(child));
        }
    } else if (node.children == Node::Children::instances) {
        const InstancesReply reply = snapshot_->instances(node.klass.className, false, node.listed, pageSize_);
        for (const ObjectRow& row : reply.rows) {
            Node child;
            child.kind = Node::Kind::object;
            child.object = row;
            child.total = snapshot_->analysis().tree.childCount(row.object);
            child.children = child.total > 0 && row.reachable ? Node::Children::dominated : Node::Children::none;
            page.push_back(std::move(child));
        }
    }
    return page;
}

void SnapshotTreeModel::listPage(int id, bool notify)
{
    Node& node = nodes_[static_cast<size_t>(id)];
    node.fetched = true;
    if (!snapshot_ || node.listed >= node.total)
        return;
    std::vector<Node> page = pageOf(node);
    // The "more" row of the page before goes; the new rows take its place.
    const bool hadMore = !node.rows.empty() && nodes_[static_cast<size_t>(node.rows.back())].kind == Node::Kind::more;
    const QModelIndex parent = id == 0 ? QModelIndex() : indexOf(id);
    if (hadMore) {
        const int last = static_cast<int>(node.rows.size()) - 1;
        if (notify)
            beginRemoveRows(parent, last, last);
        nodes_[static_cast<size_t>(id)].rows.pop_back();
        if (notify)
            endRemoveRows();
    }
    Node& n = nodes_[static_cast<size_t>(id)];
    const uint64_t listed = n.listed + page.size();
    const bool more = listed < n.total && !page.empty();
    const int first = static_cast<int>(n.rows.size());
    const int last = first + static_cast<int>(page.size()) + (more ? 1 : 0) - 1;
    if (last < first)
        return;
    if (notify)
        beginInsertRows(parent, first, last);
    for (Node& child : page)
        add(id, std::move(child));
    Node& after = nodes_[static_cast<size_t>(id)];
    after.listed = listed;
    if (more) {
        Node row;
        row.kind = Node::Kind::more;
        row.caption = tr("… %1 more, largest first: Enter or a double click lists the next %2")
                          .arg(countText(static_cast<long long>(after.total - after.listed)))
                          .arg(countText(std::min<uint64_t>(pageSize_, after.total - after.listed)));
        add(id, std::move(row));
    }
    if (notify)
        endInsertRows();
}

bool SnapshotTreeModel::loadMore(const QModelIndex& index)
{
    if (!index.isValid() || nodeAt(index).kind != Node::Kind::more)
        return false;
    listPage(nodeAt(index).parent, true);
    return true;
}

QModelIndex SnapshotTreeModel::find(uint32_t object, const QModelIndex& parent) const
{
    const Node& p = nodeAt(parent);
    for (const int id : p.rows)
        if (nodes_[static_cast<size_t>(id)].kind == Node::Kind::object && nodes_[static_cast<size_t>(id)].object.object == object)
            return indexOf(id);
    return {};
}

QModelIndex SnapshotTreeModel::reveal(uint32_t object)
{
    if (mode_ != Mode::dominators || !snapshot_)
        return {};
    const DominatorTree& tree = snapshot_->analysis().tree;
    if (object >= tree.objects() || tree.dominatorOf(object) == kNoObject)
        return {};
    std::vector<uint32_t> chain;  // the object, then its dominators up to the top
    for (uint32_t o = object; o != kVirtualRoot && o != kNoObject; o = tree.dominatorOf(o))
        chain.push_back(o);
    QModelIndex parent;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        const int id = parent.isValid() ? static_cast<int>(parent.internalId()) : 0;
        if (!nodes_[static_cast<size_t>(id)].fetched)
            listPage(id, true);
        QModelIndex found = find(*it, parent);
        // Far down a big group: pages until it shows, as a user pressing "more" would.
        while (!found.isValid()) {
            const Node& p = nodes_[static_cast<size_t>(id)];
            if (p.listed >= p.total)
                return {};
            listPage(id, true);
            found = find(*it, parent);
        }
        parent = found;
    }
    return parent;
}

uint32_t SnapshotTreeModel::objectAt(const QModelIndex& index) const
{
    if (!index.isValid())
        return kNoObject;
    const Node& node = nodeAt(index);
    return node.kind == Node::Kind::object ? node.object.object : kNoObject;
}

SnapshotTreeModel::Node& SnapshotTreeModel::nodeAt(const QModelIndex& index)
{
    return nodes_[index.isValid() ? static_cast<size_t>(index.internalId()) : 0];
}

const SnapshotTreeModel::Node& SnapshotTreeModel::nodeAt(const QModelIndex& index) const
{
    return nodes_[index.isValid() ? static_cast<size_t>(index.internalId()) : 0];
}

QModelIndex SnapshotTreeModel::indexOf(int id, int column) const
{
    if (id <= 0)
        return {};
    return createIndex(nodes_[static_cast<size_t>(id)].row, column, static_cast<quintptr>(id));
}

QModelIndex SnapshotTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (row < 0 || column < 0 || column >= ColumnCount || (parent.isValid() && parent.column() != 0))
        return {};
    const Node& p = nodeAt(parent);
    if (row >= static_cast<int>(p.rows.size()))
        return {};
    return createIndex(row, column, static_cast<quintptr>(p.rows[static_cast<size_t>(row)]));
}

QModelIndex SnapshotTreeModel::parent(const QModelIndex& child) const
{
    if (!child.isValid())
        return {};
    return indexOf(nodeAt(child).parent);
}

int SnapshotTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return static_cast<int>(nodeAt(parent).rows.size());
}

int SnapshotTreeModel::columnCount(const QModelIndex&) const
{
    return ColumnCount;
}

bool SnapshotTreeModel::hasChildren(const QModelIndex& parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return false;
    const Node& node = nodeAt(parent);
    return !node.rows.empty() || (!node.fetched && node.children != Node::Children::none && node.total > 0);
}

bool SnapshotTreeModel::canFetchMore(const QModelIndex& parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return false;
    const Node& node = nodeAt(parent);
    return !node.fetched && (node.children == Node::Children::dominated || node.children == Node::Children::instances);
}

void SnapshotTreeModel::fetchMore(const QModelIndex& parent)
{
    if (canFetchMore(parent))
        listPage(parent.isValid() ? static_cast<int>(parent.internalId()) : 0, true);
}

QString SnapshotTreeModel::cellText(const Node& node, int column, bool exact) const
{
    switch (node.kind) {
    case Node::Kind::object:
        switch (column) {
        case ObjectColumn: return node.caption + objectCaption(node.object);
        case TypeColumn: return fromWire(node.object.type);
        case ShallowColumn: return sizeText(node.object.shallow, exact);
        case RetainedColumn: return node.object.reachable ? sizeText(node.object.retained, exact) : QString();
        case ShareColumn: return node.object.reachable ? shareText(node.object.share) : QString();
        default: return {};
        }
    case Node::Kind::klass: {
        const uint64_t reachable = snapshot_ ? snapshot_->analysis().tree.retainedBytes(kVirtualRoot) : 0;
        switch (column) {
        case ObjectColumn: return fromWire(node.klass.type);
        case TypeColumn: return countText(static_cast<long long>(node.klass.objects));
        case ShallowColumn: return sizeText(node.klass.shallow, exact);
        case RetainedColumn: return sizeText(node.klass.retained, exact);
        case ShareColumn:
            return shareText(reachable ? static_cast<double>(node.klass.retained) / static_cast<double>(reachable) : 0);
        default: return {};
        }
    }
    case Node::Kind::group:
    case Node::Kind::more:
    case Node::Kind::note: return column == ObjectColumn ? node.caption : QString();
    case Node::Kind::root: return {};
    }
    return {};
}

QVariant SnapshotTreeModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const Node& node = nodeAt(index);
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole: return cellText(node, column, false);
    case CopyTextRole: return cellText(node, column, true);
    case Qt::ToolTipRole:
        if (node.kind == Node::Kind::object && column == ObjectColumn)
            return tr("%1 %2\nshallow %3 bytes, retained %4 bytes")
                .arg(fromWire(node.object.type), fromWire(node.object.id),
                     countText(static_cast<long long>(node.object.shallow)),
                     countText(static_cast<long long>(node.object.retained)));
        if (column == ObjectColumn && node.kind != Node::Kind::klass)
            return node.caption;
        if (node.kind == Node::Kind::klass && column == ObjectColumn)
            return tr("%1\nopen it to list its biggest instances").arg(fromWire(node.klass.type));
        return {};
    case Qt::TextAlignmentRole:
        if (column >= ShallowColumn || (column == TypeColumn && node.kind == Node::Kind::klass))
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return {};
    case Qt::FontRole:
        if (node.kind == Node::Kind::more || node.kind == Node::Kind::note || node.kind == Node::Kind::group) {
            QFont font;
            font.setItalic(true);
            return font;
        }
        return {};
    case SnapshotObjectRole:
        if (node.kind == Node::Kind::object)
            return QVariant::fromValue<quint32>(node.object.object);
        return {};
    case ShareRole:
        if (column != ShareColumn)
            return {};
        if (node.kind == Node::Kind::object && node.object.reachable)
            return node.object.share;
        if (node.kind == Node::Kind::klass && snapshot_) {
            const uint64_t reachable = snapshot_->analysis().tree.retainedBytes(kVirtualRoot);
            return reachable ? static_cast<double>(node.klass.retained) / static_cast<double>(reachable) : 0.0;
        }
        return {};
    case MoreRole: return node.kind == Node::Kind::more;
    case SentenceRole:
        return node.kind == Node::Kind::more || node.kind == Node::Kind::note || node.kind == Node::Kind::group;
    default: return {};
    }
}

QVariant SnapshotTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(section >= ShallowColumn ? Qt::AlignRight | Qt::AlignVCenter
                                                                        : Qt::AlignLeft | Qt::AlignVCenter));
    if (role != Qt::DisplayRole)
        return {};
    const bool classes = mode_ == Mode::classes;
    switch (section) {
    case ObjectColumn: return classes ? tr("Class") : tr("Object");
    case TypeColumn: return classes ? tr("Objects") : tr("Type");
    case ShallowColumn: return tr("Shallow");
    case RetainedColumn: return tr("Retained");
    case ShareColumn: return tr("% of heap");
    default: return {};
    }
}

Qt::ItemFlags SnapshotTreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
