// Reads a collection the way a Java program iterating it would see it, a page at a time,
// from any ObjectSource (the live agent, a heap snapshot). Paging on from where the last
// page stopped goes on from there; another offset starts again from the first entry.
// Not thread-safe: one reader is used by one thread at a time (a worker thread may own it).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "client_error.h"
#include "collection_page.h"
#include "object_source.h"

struct OpenedCollection;
class EntryWalk;
class ObjectCache;

class CollectionReader {
public:
    CollectionReader(ObjectSource& source, std::string handle);
    ~CollectionReader();
    CollectionReader(const CollectionReader&) = delete;
    CollectionReader& operator=(const CollectionReader&) = delete;

    // Entries [offset, offset + limit) in iteration order. A page whose `read` is false
    // says the object is to be shown as its fields (with a note when it is a collection
    // laid out otherwise than expected). Fails only when the source does.
    Result<CollectionPage> page(long long offset, long long limit);

    // Whether objects of this class are read as collections: a front end may offer the
    // entries view for them without reading anything.
    static bool readsType(const std::string& type);

private:
    CollectionPage readPage(long long offset, long long limit);
    void restart();

    std::string handle_;
    std::unique_ptr<ObjectCache> cache_;
    std::unique_ptr<OpenedCollection> opened_;
    std::unique_ptr<EntryWalk> walk_;
    long long position_ = 0;  // entries the walk has given
    bool ended_ = false;
};

// How a front end names an element or key in one cell: a String's text in quotes, a boxed
// value, an enum's name, "[N]"; else TYPE@handle; "null".
std::string entryLabel(const ObjectRef& object);
