// Arrays of a few bytes per object for the reader's last steps and the analysis: kept
// and handed from one step to the next instead of freed and mapped again.
//
// They are left on ordinary pages. Asked for 2 MiB pages (transparent huge pages), the
// walks over them ran about 5% faster at 10M objects, but a fresh huge page needs 2 MiB
// free in one piece: the kernel compacts memory for it or takes a block the machine has
// handed back to its hypervisor, and in two of five analyses that cost 0.1-0.2 s at one
// step. Ordinary pages come from what the process freed moments before.
#pragma once

#include <cstdint>
#include <type_traits>
#include <vector>

#include <malloc.h>

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

// reserve; an empty v takes a kept array when there is one.
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
}

template <class T>
void assignLarge(std::vector<T>& v, uint64_t count, const T& value)
{
    reserveLarge(v, count);
    v.assign(count, value);
}
