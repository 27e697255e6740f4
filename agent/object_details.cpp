#include "object_details.h"

#include <deque>
#include <string>
#include <unordered_set>

namespace {

struct Registry {
    std::deque<ObjectDetails> objects;  // index = handle - 1; a deque never moves its elements
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
    if (r.objects.size() >= CLASS_HANDLE_BASE - 1) return nullptr;
    ObjectDetails& d = r.objects.emplace_back();
    d.handle = static_cast<uint32_t>(r.objects.size());
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

ObjectDetails* class_table() { return registry().details.get(); }
size_t class_table_count() { return registry().class_count; }

ObjectDetails* descriptor_of(uint32_t handle)
{
    Registry& r = registry();
    if (handle == 0 || handle >= 0x80000000u) return nullptr;
    if (handle < CLASS_HANDLE_BASE) {
        size_t i = handle - 1;
        return i < r.objects.size() ? &r.objects[i] : nullptr;
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

size_t object_descriptor_count() { return registry().objects.size(); }
