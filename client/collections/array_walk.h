// Collections held in one array: ArrayList, Vector, CopyOnWriteArrayList, PriorityQueue
// and the immutable ListN from index 0 up to their size; ArrayDeque from `head` around
// the circle to `tail`; IdentityHashMap's key and value pairs.
#pragma once

#include <memory>
#include <string>

#include "entry_walk.h"
#include "object_cache.h"

struct ArraySpan {
    std::string array;
    long long length = 0;
    long long head = 0;   // the first element's index; the walk wraps at length
    long long count = 0;  // elements in the collection
    bool nullsAllowed = true;
};

std::unique_ptr<EntryWalk> arrayWalk(ObjectCache& cache, ArraySpan span);

// IdentityHashMap: keys at even indexes with their values after them, walked up from 0;
// nullKey is the sentinel object that stands for a null key.
std::unique_ptr<EntryWalk> identityTableWalk(ObjectCache& cache, std::string table, long long length,
                                             long long size, std::string nullKey);
