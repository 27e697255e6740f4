// An append-only array kept in chunks of 2^20 elements, for what the reader collects
// before it knows how much there will be: growing never copies what is already there
// (a vector's doubling would briefly hold the old and the new array), and draining
// into the final contiguous vector frees each chunk as soon as it has been copied.
// A chunk's room is reserved whole; pages the array never writes cost no memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

// An allocator that leaves new elements of a plain type uninitialised, so reserving a
// chunk's room writes (and so commits) no page of it.
template <typename T>
struct UninitializedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template <typename U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}
    template <typename U>
    void construct(U* p) noexcept
    {
        ::new (static_cast<void*>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args)
    {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

template <typename T>
class ChunkedArray {
public:
    static constexpr size_t kChunkBits = 20;
    static constexpr size_t kChunkSize = size_t{1} << kChunkBits;

    void push_back(T value)
    {
        if (next_ == end_)
            addChunk();
        *next_++ = value;
    }
    T& operator[](size_t i) { return chunks_[i >> kChunkBits][i & (kChunkSize - 1)]; }
    const T& operator[](size_t i) const { return chunks_[i >> kChunkBits][i & (kChunkSize - 1)]; }
    size_t size() const { return chunks_.empty() ? 0 : (chunks_.size() - 1) * kChunkSize + (next_ - chunks_.back().data()); }
    bool empty() const { return size() == 0; }

    // Calls f(const T* data, size_t count) for each chunk in order and frees the chunk
    // right after, leaving the array empty.
    template <typename F>
    void consumeChunks(F&& f)
    {
        const size_t total = size();
        for (size_t k = 0; k < chunks_.size(); ++k) {
            const size_t count = k + 1 < chunks_.size() ? kChunkSize : total - k * kChunkSize;
            f(static_cast<const T*>(chunks_[k].data()), count);
            Chunk().swap(chunks_[k]);
        }
        clear();
    }

    size_t chunkCount() const { return chunks_.size(); }
    const T* chunkData(size_t k) const { return chunks_[k].data(); }

    // Frees chunk k (elements k * kChunkSize onwards) once no longer read.
    void release(size_t k)
    {
        if (k + 1 < chunks_.size())
            Chunk().swap(chunks_[k]);
    }
    void clear()
    {
        std::vector<Chunk>().swap(chunks_);
        next_ = end_ = nullptr;
    }

    // The elements as one vector (with room for `extra` more), chunk by chunk.
    std::vector<T> drain(size_t extra = 0)
    {
        std::vector<T> out;
        out.reserve(size() + extra);
        consumeChunks([&](const T* data, size_t n) { out.insert(out.end(), data, data + n); });
        return out;
    }

    size_t memoryBytes() const { return chunks_.size() * kChunkSize * sizeof(T); }

private:
    void addChunk()
    {
        chunks_.emplace_back(kChunkSize);
        next_ = chunks_.back().data();
        end_ = next_ + kChunkSize;
    }

    using Chunk = std::vector<T, UninitializedAllocator<T>>;
    std::vector<Chunk> chunks_;
    T* next_ = nullptr;
    T* end_ = nullptr;
};
