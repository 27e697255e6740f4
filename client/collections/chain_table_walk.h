// Hash tables whose bins are chains of nodes linked by `next`: HashMap (tree bins too,
// since a TreeNode keeps its `next`), Hashtable and WeakHashMap. HashMap's iterator walks
// the table up from index 0; Hashtable's and WeakHashMap's walk it down from the top.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "entry_walk.h"
#include "object_cache.h"
#include "object_fields.h"

struct ChainTable {
    std::string table;  // the array of bins; empty when the table is not allocated yet
    long long length = 0;
    long long size = 0;  // what the map's own count says
    bool descending = false;
    std::vector<const char*> nodeTypes;
    FieldName key, value, next, hash;
    bool moduloBins = false;  // Hashtable: bin = (hash & 0x7FFFFFFF) % length; else hash & (length - 1)
    std::string nullKey;      // a sentinel key object that stands for null (WeakHashMap.NULL_KEY)
    bool weakKeys = false;    // WeakHashMap: an entry whose key was cleared is counted, not shown
};

std::unique_ptr<EntryWalk> chainTableWalk(ObjectCache& cache, ChainTable table);
