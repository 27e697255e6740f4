// The collections of List.of, Set.of and Map.of (java.util.ImmutableCollections). Sets
// and maps of more than two elements are iterated from a place in their table that the
// class's static SALT32L picks, going up or down as its static REVERSE says, so those
// statics are read from the class object, never guessed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "entry_walk.h"
#include "object_cache.h"

struct ImmutableStatics {
    unsigned long long salt = 0;  // SALT32L, below 2^32
    bool reverse = false;         // REVERSE
    std::string empty;            // EMPTY: the sentinel of an unused second element
};

// Reads them from java.util.ImmutableCollections' class object; throws LayoutMismatch
// when the class or a static cannot be read.
ImmutableStatics readImmutableStatics(ObjectCache& cache);

// List12 (e0, e1), Set12 (e0, e1; two elements come out in REVERSE's order) and Map1.
std::vector<CollectionEntry> smallImmutableEntries(const std::string& kind, const ObjectView& view,
                                                   const ImmutableStatics& statics);
// SetN (elements) and MapN (table of key, value pairs), size as their field says.
std::unique_ptr<EntryWalk> probedTableWalk(ObjectCache& cache, bool pairs, std::string table, long long length,
                                           long long size, const ImmutableStatics& statics);
// A walk over entries read already.
std::unique_ptr<EntryWalk> fixedWalk(std::vector<CollectionEntry> entries);
