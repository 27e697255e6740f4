#include "object_history.h"

void ObjectHistory::opened(const ObjectRef& object)
{
    if (!objects_.empty() && objects_[current_].handle == object.handle)
        return;
    if (!objects_.empty())
        objects_.erase(objects_.begin() + static_cast<long>(current_) + 1, objects_.end());
    objects_.push_back(object);
    if (objects_.size() > kKept)
        objects_.erase(objects_.begin());
    current_ = objects_.size() - 1;
}

std::optional<ObjectRef> ObjectHistory::back()
{
    if (!canGoBack())
        return std::nullopt;
    return objects_[--current_];
}

std::optional<ObjectRef> ObjectHistory::forward()
{
    if (!canGoForward())
        return std::nullopt;
    return objects_[++current_];
}

void ObjectHistory::clear()
{
    objects_.clear();
    current_ = 0;
}
