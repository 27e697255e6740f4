#include "object_tree_model.h"

namespace {

constexpr quintptr kPlaceholderBit = 1;  // nodes are aligned, so the low bit is free

quintptr placeholderId(ObjectNode* under)
{
    return reinterpret_cast<quintptr>(under) | kPlaceholderBit;
}

}  // namespace

ObjectTreeModel::ObjectTreeModel(QObject* parent) : QAbstractItemModel(parent)
{
    root_.fetched = true;  // the root's children come from refresh, never a placeholder
}

void ObjectTreeModel::createRoot(const QString& caption)
{
    if (hasRoot_)
        return;
    beginInsertRows({}, 0, 0);
    root_.caption = caption;
    hasRoot_ = true;
    endInsertRows();
}

QModelIndex ObjectTreeModel::rootIndex() const
{
    return hasRoot_ ? createIndex(0, 0, &const_cast<ObjectNode&>(root_)) : QModelIndex();
}

ObjectNode* ObjectTreeModel::nodeOf(const QModelIndex& index)
{
    return reinterpret_cast<ObjectNode*>(index.internalId() & ~kPlaceholderBit);
}

QModelIndex ObjectTreeModel::indexOf(ObjectNode* node) const
{
    return createIndex(node->row, 0, node);
}

bool ObjectTreeModel::isPlaceholder(const QModelIndex& index) const
{
    return index.isValid() && (index.internalId() & kPlaceholderBit) != 0;
}

std::string ObjectTreeModel::handle(const QModelIndex& index) const
{
    if (!index.isValid() || isPlaceholder(index))
        return {};
    return nodeOf(index)->handle;
}

void ObjectTreeModel::removeChildren(const QModelIndex& parent)
{
    if (!parent.isValid() || isPlaceholder(parent))
        return;
    ObjectNode* node = nodeOf(parent);
    const int count = rowCount(parent);
    if (count > 0)
        beginRemoveRows(parent, 0, count - 1);
    std::vector<ObjectNode>().swap(node->children);  // hands the memory back, not just the rows
    node->fetched = true;
    if (count > 0)
        endRemoveRows();
}

void ObjectTreeModel::setChildren(const QModelIndex& parent, std::vector<ObjectNode> nodes)
{
    if (!parent.isValid() || isPlaceholder(parent))
        return;
    removeChildren(parent);
    if (nodes.empty())
        return;
    ObjectNode* node = nodeOf(parent);
    beginInsertRows(parent, 0, static_cast<int>(nodes.size()) - 1);
    node->children = std::move(nodes);
    for (size_t i = 0; i < node->children.size(); ++i) {
        ObjectNode& child = node->children[i];
        child.parent = node;
        child.row = static_cast<int>(i);
        child.fetched = false;
        child.children.clear();
    }
    endInsertRows();
}

QModelIndex ObjectTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (row < 0 || column != 0 || row >= rowCount(parent))
        return {};
    if (!parent.isValid())
        return rootIndex();
    ObjectNode* node = nodeOf(parent);
    if (!node->fetched)
        return createIndex(row, 0, placeholderId(node));
    return createIndex(row, 0, &node->children[static_cast<size_t>(row)]);
}

QModelIndex ObjectTreeModel::parent(const QModelIndex& index) const
{
    if (!index.isValid())
        return {};
    ObjectNode* node = nodeOf(index);
    if (isPlaceholder(index))
        return indexOf(node);
    return node->parent ? indexOf(node->parent) : QModelIndex();
}

int ObjectTreeModel::rowCount(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return hasRoot_ ? 1 : 0;
    if (parent.column() != 0 || isPlaceholder(parent))
        return 0;
    const ObjectNode* node = nodeOf(parent);
    return node->fetched ? static_cast<int>(node->children.size()) : 1;
}

int ObjectTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant ObjectTreeModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    if (isPlaceholder(index))
        return QString::fromLatin1(kPlaceholderCaption);
    return nodeOf(index)->caption;
}

// Captions may be edited on screen; nothing reads them back.
bool ObjectTreeModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || isPlaceholder(index) || role != Qt::EditRole)
        return false;
    nodeOf(index)->caption = value.toString();
    emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

Qt::ItemFlags ObjectTreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (!isPlaceholder(index))
        f |= Qt::ItemIsEditable;
    return f;
}
