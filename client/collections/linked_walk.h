// Collections whose iterator follows one link from node to node: LinkedHashMap (head,
// then `after`) and LinkedList (first, then `next`).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "entry_walk.h"
#include "object_cache.h"
#include "object_fields.h"

struct LinkedChain {
    std::string first;  // the first node; empty when there is none
    long long size = 0;
    std::vector<const char*> nodeTypes;
    FieldName link;
    FieldName key;    // the element of a list
    FieldName value;  // maps only; declared is nullptr for a list
};

std::unique_ptr<EntryWalk> linkedWalk(ObjectCache& cache, LinkedChain chain);
