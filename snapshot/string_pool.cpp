#include "string_pool.h"

uint32_t StringPool::add(std::string_view text)
{
    auto found = handles_.find(text);
    if (found != handles_.end())
        return found->second;
    const auto handle = static_cast<uint32_t>(strings_.size());
    strings_.emplace_back(text);
    handles_.emplace(strings_.back(), handle);
    return handle;
}
