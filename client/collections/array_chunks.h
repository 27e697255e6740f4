// An array's reference elements, read a chunk at a time as a walk reaches them.
#pragma once

#include <string>
#include <vector>

#include "object_cache.h"

class ArrayChunks {
public:
    ArrayChunks(ObjectCache& cache, std::string array, long long length);

    const std::string& handle() const { return array_; }
    long long length() const { return length_; }
    // How many elements the next chunk read brings (at least 1).
    void chunkSize(long long elements);
    // Element i, read with its chunk when not held; throws LayoutMismatch for an index
    // beyond the array or a primitive element.
    const ObjectRef& at(long long i);
    // Whether element i is held without a read.
    bool held(long long i) const { return i >= start_ && i < start_ + static_cast<long long>(elements_.size()); }
    // The held elements from i on, going up (step 1) or down (step -1), that are not
    // null, up to count of them: a walk wants those nodes before it reaches them.
    std::vector<std::string> heldHandles(long long i, int step, long long count) const;

private:
    ObjectCache& cache_;
    std::string array_;
    long long length_;
    long long chunk_ = 4096;
    long long start_ = 0;
    std::vector<ObjectRef> elements_;
};
