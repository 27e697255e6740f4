// An append-only array kept in chunks of 2^16 elements, for what the reader collects
// before it knows how much there will be: growing never copies what is already there
// (a vector's doubling would briefly hold the old and the new array), and draining
// into the final contiguous vector gives each chunk back to the system as soon as it
// has been copied. Chunks are mapped directly, so their pages cost memory only once
// written and freeing one really returns it, whatever malloc's thresholds are. Chunks
// small beside the array keep that true at a million objects too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "mapped_memory.h"

template <typename T>
class ChunkedArray {
public:
    static constexpr size_t kChunkBits = 16;
    static constexpr size_t kChunkSize = size_t{1} << kChunkBits;

    void push_back(T value)
    {
        if (next_ == end_)
            addChunk();
        *next_++ = value;
    }
    T& operator[](size_t i) { return data(i >> kChunkBits)[i & (kChunkSize - 1)]; }
    const T& operator[](size_t i) const { return data(i >> kChunkBits)[i & (kChunkSize - 1)]; }
    size_t size() const { return chunks_.empty() ? 0 : (chunks_.size() - 1) * kChunkSize + (next_ - lastData()); }
    bool empty() const { return size() == 0; }

    size_t chunkCount() const { return chunks_.size(); }
    const T* chunkData(size_t k) const { return data(k); }
    // Frees chunk k (elements k * kChunkSize onwards) once it is no longer read.
    void release(size_t k)
    {
        if (k + 1 < chunks_.size())
            chunks_[k] = MappedMemory();
    }
    void clear()
    {
        std::vector<MappedMemory>().swap(chunks_);
        next_ = end_ = nullptr;
    }

    // The elements as one vector (with room for `extra` more), chunk by chunk.
    std::vector<T> drain(size_t extra = 0)
    {
        std::vector<T> out;
        out.reserve(size() + extra);
        drainInto(out);
        return out;
    }

    // Appends the elements to out (a vector, or anything with reserve and append that packs
    // them), chunk by chunk, each chunk given back as soon as it has been copied.
    template <typename Out>
    void drainInto(Out& out)
    {
        const size_t total = size();
        out.reserve(out.size() + total);
        for (size_t k = 0; k < chunks_.size(); ++k) {
            const size_t count = k + 1 < chunks_.size() ? kChunkSize : total - k * kChunkSize;
            const T* from = data(k);
            if constexpr (std::is_same_v<Out, std::vector<T>>)
                out.insert(out.end(), from, from + count);
            else
                out.append(from, count);
            chunks_[k] = MappedMemory();
        }
        clear();
    }

private:
    T* data(size_t k) const { return static_cast<T*>(chunks_[k].data()); }
    T* lastData() const { return data(chunks_.size() - 1); }
    void addChunk()
    {
        chunks_.emplace_back(kChunkSize * sizeof(T));
        next_ = lastData();
        end_ = next_ + kChunkSize;
    }

    std::vector<MappedMemory> chunks_;
    T* next_ = nullptr;
    T* end_ = nullptr;
};
