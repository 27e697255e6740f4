// TreeMap in key order: the leftmost entry first, then each entry's successor found
// through `right`, `left` and `parent`, so the next page goes on from where the last
// one stopped without walking the tree again.
#pragma once

#include <memory>
#include <string>

#include "entry_walk.h"
#include "object_cache.h"

std::unique_ptr<EntryWalk> treeMapWalk(ObjectCache& cache, std::string root, long long size);
