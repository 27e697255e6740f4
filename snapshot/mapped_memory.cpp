#include "mapped_memory.h"

#include <sys/mman.h>

#include <new>
#include <utility>

MappedMemory::MappedMemory(size_t bytes) : size_(bytes)
{
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
    data_ = p;
}

MappedMemory::~MappedMemory()
{
    if (data_)
        ::munmap(data_, size_);
}

MappedMemory::MappedMemory(MappedMemory&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0))
{
}

MappedMemory& MappedMemory::operator=(MappedMemory&& other) noexcept
{
    if (this != &other) {
        if (data_)
            ::munmap(data_, size_);
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}
