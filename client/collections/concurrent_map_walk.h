// ConcurrentHashMap in its Traverser's order: bins from index 0 up, each bin's chain
// along `next`, a TreeBin through its `first` node, and, while the map is being resized,
// a ForwardingNode followed into `nextTable` (that bin's two halves there) before the
// walk goes back to the table it came from.
#pragma once

#include <memory>
#include <string>

#include "entry_walk.h"
#include "object_cache.h"

std::unique_ptr<EntryWalk> concurrentMapWalk(ObjectCache& cache, std::string table, long long length, long long size);
