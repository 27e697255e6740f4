// One walk over a collection's entries in the order its Java iterator gives them. Walks
// read through an ObjectCache and throw LayoutMismatch when something is not as the
// JDK lays it out, SourceFailed when the source fails.
#pragma once

#include <string>

#include "collection_page.h"

class EntryWalk {
public:
    virtual ~EntryWalk() = default;
    // The next entry (its position left to the caller), or false after the last one;
    // once the end is reached the walk has checked that what it counted matches the
    // collection's own count.
    virtual bool next(CollectionEntry& entry) = 0;
    // About this many entries are wanted next: reads may bring that many nodes at once.
    virtual void expect(long long entries) { (void)entries; }
};

// Throws unless a walk that ended having counted `counted` entries agrees with `size`.
void checkCount(long long counted, long long size, const std::string& what);
// Throws once a walk has counted more entries than `size` says there are.
void checkNotBeyond(long long counted, long long size, const std::string& what);
