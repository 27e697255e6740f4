// A block of anonymous memory mapped for one owner and unmapped with it: pages cost
// memory only once written, and giving the block back returns them to the system.
#pragma once

#include <cstddef>

class MappedMemory {
public:
    MappedMemory() = default;
    explicit MappedMemory(size_t bytes);  // throws std::bad_alloc if the system refuses
    ~MappedMemory();
    MappedMemory(MappedMemory&& other) noexcept;
    MappedMemory& operator=(MappedMemory&& other) noexcept;
    MappedMemory(const MappedMemory&) = delete;
    MappedMemory& operator=(const MappedMemory&) = delete;

    void* data() const { return data_; }
    size_t size() const { return size_; }

private:
    void* data_ = nullptr;
    size_t size_ = 0;
};
