// Which classes are read as collections, and how each is opened: its size and capacity
// from its own fields, and the walk over its entries. Only the JDK's own classes, by
// exact name: a subclass may iterate otherwise, so it is shown as its fields.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "collection_page.h"
#include "entry_walk.h"
#include "object_cache.h"

struct OpenedCollection {
    std::string kind;
    CollectionShape shape = CollectionShape::list;
    std::string handle;  // the object whose layout is read (after unwrapping)
    std::vector<std::string> unwrapped;
    long long size = -1;
    long long capacity = -1;
    // A fresh walk from the first entry; for a set over a map, the map's walk.
    std::function<std::unique_ptr<EntryWalk>()> walk;
};

// Whether objects of this class are read as collections (or as wrappers of one).
bool isCollectionType(const std::string& type);

// Opens the object; nullopt when it is not of a kind read as a collection. Throws
// LayoutMismatch when it is, but is not laid out as expected; SourceFailed.
std::optional<OpenedCollection> openCollection(ObjectCache& cache, const std::string& handle);
