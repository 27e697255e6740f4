// A collection read as a Java program iterating it would see it: its entries in the
// iterator's order, a page at a time, with its size and capacity.
#pragma once

#include <string>
#include <vector>

#include "reply_views.h"

struct CollectionEntry {
    long long position = -1;  // in iteration order, from 0
    ObjectRef key;            // a map's key, or a list's or set's element; no handle: null
    ObjectRef value;          // a map's value; no handle: null (or not a map)
    std::string holder;       // the node holding the entry (HashMap$Node...); empty for array slots
};

enum class CollectionShape { map, set, list };

struct CollectionPage {
    // False when the object is not read as a collection: not one of the known kinds, or
    // (with a note) laid out otherwise than this reader expects. Show its fields instead.
    bool read = false;
    std::string note;

    std::string kind;  // the class whose layout was read: java.util.HashMap...
    CollectionShape shape = CollectionShape::list;
    std::string handle;  // the object read: the collection itself, or what its wrappers wrap
    // The wrappers taken off on the way, outermost first: "java.util.Collections$UnmodifiableMap @1a2b".
    std::vector<std::string> unwrapped;
    long long size = -1;      // as the collection's own fields count it
    long long capacity = -1;  // its table's or array's length; -1 when it has none (TreeMap, LinkedList)
    long long offset = 0;
    std::vector<CollectionEntry> entries;
    bool complete = false;  // the page ends with the last entry
};
