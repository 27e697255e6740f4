#include "heap_tree_item.h"

HeapTreeItem::HeapTreeItem(Kind kind, RowCells cells, std::string handle)
    : kind_(kind), cells_(std::move(cells)), handle_(std::move(handle))
{
    if (kind_ == Kind::object && !handle_.empty())
        fetch_ = Fetch::notYet;
}

HeapTreeItem* HeapTreeItem::child(int row) const
{
    if (row < 0 || row >= childCount())
        return nullptr;
    return children_[static_cast<size_t>(row)].get();
}

HeapTreeItem* HeapTreeItem::appendChild(std::unique_ptr<HeapTreeItem> child)
{
    child->parent_ = this;
    child->row_ = childCount();
    children_.push_back(std::move(child));
    return children_.back().get();
}

HeapTreeItem* HeapTreeItem::insertChild(int row, std::unique_ptr<HeapTreeItem> child)
{
    child->parent_ = this;
    HeapTreeItem* inserted = children_.insert(children_.begin() + row, std::move(child))->get();
    for (int r = row; r < childCount(); ++r)
        children_[static_cast<size_t>(r)]->row_ = r;
    return inserted;
}

void HeapTreeItem::removeChildren(int first, int count)
{
    const auto begin = children_.begin() + first;
    children_.erase(begin, begin + count);
    for (int row = first; row < childCount(); ++row)
        children_[static_cast<size_t>(row)]->row_ = row;
}
