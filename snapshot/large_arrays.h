// Arrays of a few bytes per object that the graph walks read at random: backed by 2 MiB
// pages where the kernel gives them on request (transparent huge pages in "madvise" mode,
// Debian's default), which spares most of the TLB misses of such reads; the dominators
// take 15-20% less time so at 10M objects. Elsewhere the advice is a no-op.
#pragma once

#include <cstdint>
#include <type_traits>
#include <vector>

#include <malloc.h>
#include <sys/mman.h>

#include <mutex>

// The reader and the analysis free arrays of megabytes as they go. glibc maps large
// blocks on their own and unmaps them when freed, but after the first such free it
// raises its threshold for that (up to 32 MiB), so later arrays of a small heap's size
// stay in its pool after they are freed: at 1M objects that was a sixth of the peak. A
// fixed threshold keeps every block of 256 KiB and more given back at once. It applies
// to the whole process; call it before reading or analysing.
inline void returnLargeBlocksAtOnce()
{
#ifdef M_MMAP_THRESHOLD
    static std::once_flag once;
    std::call_once(once, [] { mallopt(M_MMAP_THRESHOLD, 256 * 1024); });
#endif
}

inline void adviseHugePages(const void* data, uint64_t bytes)
{
#ifdef MADV_HUGEPAGE
    constexpr uintptr_t kHuge = uintptr_t{2} << 20;
    if (bytes < 2 * kHuge)
        return;
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kHuge - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

// Fresh memory is dear: every page costs a fault and the kernel's zeroing, and in a
// virtual machine often a fault in the host as well; at 10M objects the analysis spent
// more time getting its arrays than walking the graph. While a ReuseFreedArrays is
// alive, the 4-byte arrays of a megabyte or more that release() frees are kept, and the
// next array asked for of about their size takes one instead of fresh pages. A fresh
// array first frees as many kept bytes as it needs, so what is kept adds little to the
// peak. Kept arrays are freed when the last ReuseFreedArrays ends.
class ReuseFreedArrays {
public:
    ReuseFreedArrays();
    ~ReuseFreedArrays();
    ReuseFreedArrays(const ReuseFreedArrays&) = delete;
    ReuseFreedArrays& operator=(const ReuseFreedArrays&) = delete;
};

// Keeps v's memory for reuse when a ReuseFreedArrays is alive and v is large enough;
// whether it did (v is then empty).
bool keepFreedArray(std::vector<uint32_t>& v);
// Gives v a kept array with room for count and not much more; whether there was one.
bool takeFreedArray(std::vector<uint32_t>& v, uint64_t count);
// Before fresh memory of this size is taken: frees kept arrays of as many bytes.
void makeRoomForFresh(uint64_t bytes);

// Gives a vector's memory back at once (v = {} would only empty it, keeping its capacity),
// or keeps it for the next array (see ReuseFreedArrays).
template <class T>
void release(std::vector<T>& v)
{
    if constexpr (std::is_same_v<T, uint32_t>) {
        if (keepFreedArray(v))
            return;
    }
    std::vector<T>().swap(v);
}

// reserve, with the advice given before the first write touches the pages; an empty v
// takes a kept array when there is one.
template <class T>
void reserveLarge(std::vector<T>& v, uint64_t count)
{
    if (v.capacity() < count) {
        if constexpr (std::is_same_v<T, uint32_t>) {
            if (v.empty() && takeFreedArray(v, count))
                return;
        }
        makeRoomForFresh(count * sizeof(T));
    }
    v.reserve(count);
    adviseHugePages(v.data(), count * sizeof(T));
}

template <class T>
void assignLarge(std::vector<T>& v, uint64_t count, const T& value)
{
    reserveLarge(v, count);
    v.assign(count, value);
}
