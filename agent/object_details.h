// Descriptors: the agent's record of a class or object, the handle that names it on the
// wire, and the JVMTI tag that binds it to its object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "object_list.h"

struct ObjectDetails {
    const char* signature = nullptr;  // interned JVM signature, never freed
    // Finding the object again without a search through every tag (see object_lookup):
    void* ref = nullptr;        // a JNI weak global reference to it, once the agent had one
    // Distinct objects this one refers to directly, as the traced reference walk lists
    // them; made by its first such walk (see list_of).
    std::unique_ptr<ObjList> next_obj_list;
    int32_t seq = 0;        // visit number of the latest report
    int32_t count = 0;      // class descriptors: instances reported since the table was built
    int32_t size = 0;       // class descriptors: their summed sizes, kept to 32 bits
    uint32_t handle = 0;    // 1..0x7FFFFFFF while the descriptor lives, 0 once freed
    uint32_t listed_walk = 0;  // the latest reference walk that listed it (see snapshot)
    uint32_t parent = 0;        // the object whose reference walk listed it last...
    int32_t parent_index = -1;  // ...through this field, element or pool index...
    uint32_t listed_gen = 0;    // the snapshot generation of the latest reply that named it
    int8_t root_kind = 0;  // 1.0 root kind of the latest root report, 0 if never a root
    int8_t ref_kind = 0;   // 1.0 reference kind of the latest reference report
    uint8_t parent_kind = 0;    // ...and the 1.0 reference kind of that listing
};

// d's reference list, made empty on first use.
inline ObjList& list_of(ObjectDetails* d)
{
    if (!d->next_obj_list) d->next_obj_list = std::make_unique<ObjList>();
    return *d->next_obj_list;
}

// Tags carry the marker in the high word and the handle, sign-extended, in the low word.
constexpr uint64_t TAG_MARK = 0x12345678;

inline int64_t make_tag(uint32_t handle)
{
    uint64_t extended = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(handle)));
    return static_cast<int64_t>((TAG_MARK << 32) | extended);
}

inline uint32_t handle_of(int64_t tag) { return static_cast<uint32_t>(tag); }

// "%x" text of a descriptor in trace lines: its handle, 0 for none.
inline unsigned handle_text_of(const ObjectDetails* d) { return d ? d->handle : 0; }

// Handles below this name object descriptors; from here to 0x7FFFFFFF, class descriptors.
constexpr uint32_t CLASS_HANDLE_BASE = 0x40000000;

// Every descriptor the agent has made, found by handle in constant time.
class DescriptorRegistry {
public:
    // A new zeroed object descriptor with a fresh empty list and the next object handle.
    // Handles are never given out twice. Returns nullptr when the handle space is used up.
    ObjectDetails* new_object_descriptor();
    // Frees an object descriptor: its handle names nothing from now on. The memory of a
    // chunk goes back once every descriptor in it is freed.
    void free_object_descriptor(ObjectDetails* d);
    size_t live_objects() const { return live_objects_; }
    // Frees, in handle order, every live object descriptor for which f returns true.
    template <typename F>
    void free_objects_if(F f)
    {
        for (auto& chunk : chunks_) {
            // A chunk whose last descriptor is freed goes at once: look no further in it.
            for (size_t i = 0; chunk && i < CHUNK_SIZE; i++)
                if (chunk->slots[i].handle != 0 && f(&chunk->slots[i])) free_object_descriptor(&chunk->slots[i]);
        }
    }

    // Replaces the class table with count fresh class descriptors whose handles have never
    // named a class in an earlier table (until 2^30 class handles have been issued).
    ObjectDetails* new_class_table(size_t count);
    void free_class_table();
    size_t class_table_count() const { return class_count_; }
    ObjectDetails* class_at(size_t i) const { return i < class_count_ ? &details_[i] : nullptr; }

    // The live descriptor with this handle, or nullptr: never issued, or a class
    // descriptor of an earlier table.
    ObjectDetails* descriptor_of(uint32_t handle) const;
    bool is_class_descriptor(const ObjectDetails* d) const;
    // Position of a class descriptor in its table (the order GetLoadedClasses gave).
    size_t class_index(const ObjectDetails* d) const { return static_cast<size_t>(d - details_.get()); }

    // The one stable copy of a signature text, kept for the life of the agent.
    const char* intern_signature(const char* signature);

private:
    // Object descriptors live in fixed chunks, so they never move and a handle finds its
    // descriptor with a shift and a mask.
    static constexpr size_t CHUNK_BITS = 12;
    static constexpr size_t CHUNK_SIZE = size_t{1} << CHUNK_BITS;

    struct Chunk {
        ObjectDetails slots[CHUNK_SIZE];
        size_t live = 0;
    };
    std::vector<std::unique_ptr<Chunk>> chunks_;  // chunk i holds handles i*CHUNK_SIZE+1 on
    size_t object_count_ = 0;  // handles given out so far
    size_t live_objects_ = 0;
    std::unique_ptr<ObjectDetails[]> details_;  // the class table
    size_t class_count_ = 0;
    uint32_t class_first_ = 0;  // offset of the current table's first handle above CLASS_HANDLE_BASE
    uint32_t class_next_ = 0;   // offset for the next table
    std::unordered_set<std::string> signatures_;
};
