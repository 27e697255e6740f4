#include "object_details.h"

namespace {
constexpr uint32_t CLASS_HANDLE_SPAN = 0x80000000u - CLASS_HANDLE_BASE;
}  // namespace

ObjectDetails* DescriptorRegistry::new_object_descriptor()
{
    if (object_count_ >= CLASS_HANDLE_BASE - 1) return nullptr;
    if (object_count_ % CHUNK_SIZE == 0) chunks_.push_back(std::make_unique<Chunk>());
    Chunk& chunk = *chunks_.back();
    ObjectDetails& d = chunk.slots[object_count_ % CHUNK_SIZE];
    d.handle = static_cast<uint32_t>(++object_count_);
    chunk.live++;
    live_objects_++;
    return &d;
}

void DescriptorRegistry::free_object_descriptor(ObjectDetails* d)
{
    if (!d || d->handle == 0 || d->handle >= CLASS_HANDLE_BASE) return;
    const size_t c = (d->handle - 1) >> CHUNK_BITS;
    d->next_obj_list.reset();
    d->signature = nullptr;
    d->seq = d->count = d->size = 0;
    d->root_kind = d->ref_kind = 0;
    d->handle = d->listed_walk = d->parent = d->listed_gen = 0;
    d->ref = nullptr;
    d->parent_index = -1;
    d->parent_kind = 0;
    live_objects_--;
    // The newest chunk stays: it is where the next descriptors go.
    if (--chunks_[c]->live == 0 && c + 1 != chunks_.size()) chunks_[c].reset();
}

ObjectDetails* DescriptorRegistry::new_class_table(size_t count)
{
    if (count > CLASS_HANDLE_SPAN) count = CLASS_HANDLE_SPAN;
    details_ = std::make_unique<ObjectDetails[]>(count);
    class_count_ = count;
    if (class_next_ > CLASS_HANDLE_SPAN - count) class_next_ = 0;  // wrap the handle space
    class_first_ = class_next_;
    class_next_ += static_cast<uint32_t>(count);
    for (size_t i = 0; i < count; i++)
        details_[i].handle = CLASS_HANDLE_BASE + class_first_ + static_cast<uint32_t>(i);
    return details_.get();
}

void DescriptorRegistry::free_class_table()
{
    details_.reset();
    class_count_ = 0;
}

ObjectDetails* DescriptorRegistry::descriptor_of(uint32_t handle) const
{
    if (handle == 0 || handle >= 0x80000000u) return nullptr;
    if (handle < CLASS_HANDLE_BASE) {
        size_t i = handle - 1;
        if (i >= object_count_ || !chunks_[i >> CHUNK_BITS]) return nullptr;
        ObjectDetails* d = &chunks_[i >> CHUNK_BITS]->slots[i & (CHUNK_SIZE - 1)];
        return d->handle == handle ? d : nullptr;  // 0 once freed
    }
    uint32_t offset = handle - CLASS_HANDLE_BASE;
    if (!details_ || offset < class_first_) return nullptr;
    size_t i = offset - class_first_;
    return i < class_count_ ? &details_[i] : nullptr;
}

bool DescriptorRegistry::is_class_descriptor(const ObjectDetails* d) const
{
    if (!d || !details_) return false;
    // Only class descriptors carry class handles, so the handle tells which table holds d.
    return d->handle >= CLASS_HANDLE_BASE && descriptor_of(d->handle) == d;
}

const char* DescriptorRegistry::intern_signature(const char* signature)
{
    return signatures_.emplace(signature).first->c_str();
}
