#include "array_chunks.h"

#include <algorithm>

#include "layout_error.h"
#include "object_fields.h"
#include "records.h"

ArrayChunks::ArrayChunks(ObjectCache& cache, std::string array, long long length)
    : cache_(cache), array_(std::move(array)), length_(length)
{
}

void ArrayChunks::chunkSize(long long elements)
{
    chunk_ = std::clamp<long long>(elements, 1, 100000);
}

const ObjectRef& ArrayChunks::at(long long i)
{
    if (i < 0 || i >= length_)
        throw LayoutMismatch{"index " + std::to_string(i) + " is beyond the array @" + array_ + " of length " +
                             std::to_string(length_)};
    if (held(i))
        return elements_[static_cast<size_t>(i - start_)];
    // Going down, the chunk ends at i; going up, it starts there.
    const bool down = !elements_.empty() && i < start_;
    const long long first = down ? std::max<long long>(0, i - chunk_ + 1) : i;
    const long long count = std::min(chunk_, length_ - first);
    const ObjectView view = cache_.elements(array_, first, count);
    if (view.length != length_)
        throw LayoutMismatch{"the array @" + array_ + " changed length from " + std::to_string(length_) + " to " +
                             std::to_string(view.length) + " while it was read"};
    elements_.assign(static_cast<size_t>(count), ObjectRef{});
    long long listed = 0;
    for (const Slot& slot : view.contents) {
        if (slot.how != "element")
            continue;
        const long long index = countOf(slot.name);
        if (index < first || index >= first + count)
            throw LayoutMismatch{"the array @" + array_ + " listed element " + slot.name + " outside what was asked"};
        if (!slot.refersToObject() && slot.value != "null")
            throw LayoutMismatch{"the array @" + array_ + " holds primitive values, not references"};
        elements_[static_cast<size_t>(index - first)] = slot.target;
        ++listed;
    }
    if (listed != count)
        throw LayoutMismatch{"the array @" + array_ + " listed " + std::to_string(listed) + " of the " +
                             std::to_string(count) + " elements asked for"};
    start_ = first;
    return elements_[static_cast<size_t>(i - start_)];
}

std::vector<std::string> ArrayChunks::heldHandles(long long i, int step, long long count) const
{
    std::vector<std::string> handles;
    for (; held(i) && static_cast<long long>(handles.size()) < count; i += step) {
        const ObjectRef& e = elements_[static_cast<size_t>(i - start_)];
        if (!e.handle.empty())
            handles.push_back(e.handle);
    }
    return handles;
}
