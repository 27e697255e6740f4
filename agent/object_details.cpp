#include "object_details.h"

#include <string>
#include <unordered_set>
#include <vector>

namespace {

// Object descriptors live in fixed chunks, so they never move and a handle finds its
// descriptor with a shift and a mask.
constexpr size_t CHUNK_BITS = 12;
constexpr size_t CHUNK_SIZE = size_t{1} << CHUNK_BITS;

struct Registry {
    std::vector<std::unique_ptr<ObjectDetails[]>> chunks;  // index = handle - 1
    size_t object_count = 0;
    std::unique_ptr<ObjectDetails[]> details;  // the class table
    size_t class_count = 0;
    uint32_t class_first = 0;  // offset of the current table's first handle above CLASS_HANDLE_BASE
    uint32_t class_next = 0;   // offset for the next table
    std::unordered_set<std::string> signatures;
};

Registry& registry()
{
    static Registry r;
    return r;
}

constexpr uint32_t CLASS_HANDLE_SPAN = 0x80000000u - CLASS_HANDLE_BASE;

}  // namespace

ObjectDetails* new_object_descriptor()
{
    Registry& r = registry();
    if (r.object_count >= CLASS_HANDLE_BASE - 1) return nullptr;
    if (r.object_count % CHUNK_SIZE == 0) r.chunks.push_back(std::make_unique<ObjectDetails[]>(CHUNK_SIZE));
    ObjectDetails& d = r.chunks.back()[r.object_count % CHUNK_SIZE];
    d.handle = static_cast<uint32_t>(++r.object_count);
    return &d;
}

ObjectDetails* new_class_table(size_t count)
{
    Registry& r = registry();
    if (count > CLASS_HANDLE_SPAN) count = CLASS_HANDLE_SPAN;
    r.details = std::make_unique<ObjectDetails[]>(count);
    r.class_count = count;
    if (r.class_next > CLASS_HANDLE_SPAN - count) r.class_next = 0;  // wrap the handle space
    r.class_first = r.class_next;
    r.class_next += static_cast<uint32_t>(count);
    for (size_t i = 0; i < count; i++)
        r.details[i].handle = CLASS_HANDLE_BASE + r.class_first + static_cast<uint32_t>(i);
    return r.details.get();
}

void free_class_table()
{
    Registry& r = registry();
    r.details.reset();
    r.class_count = 0;
}

size_t class_table_count() { return registry().class_count; }

ObjectDetails* descriptor_of(uint32_t handle)
{
    Registry& r = registry();
    if (handle == 0 || handle >= 0x80000000u) return nullptr;
    if (handle < CLASS_HANDLE_BASE) {
        size_t i = handle - 1;
        return i < r.object_count ? &r.chunks[i >> CHUNK_BITS][i & (CHUNK_SIZE - 1)] : nullptr;
    }
    uint32_t offset = handle - CLASS_HANDLE_BASE;
    if (!r.details || offset < r.class_first) return nullptr;
    size_t i = offset - r.class_first;
    return i < r.class_count ? &r.details[i] : nullptr;
}

bool is_class_descriptor(const ObjectDetails* d)
{
    Registry& r = registry();
    if (!d || !r.details) return false;
    // Only class descriptors carry class handles, so the handle tells which table holds d.
    return d->handle >= CLASS_HANDLE_BASE && descriptor_of(d->handle) == d;
}

const char* intern_signature(const char* signature)
{
    return registry().signatures.emplace(signature).first->c_str();
}
