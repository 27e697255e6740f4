#include "collection_kinds.h"

#include <set>

#include "array_walk.h"
#include "chain_table_walk.h"
#include "concurrent_map_walk.h"
#include "immutable_walk.h"
#include "layout_error.h"
#include "linked_walk.h"
#include "object_fields.h"
#include "tree_map_walk.h"

namespace {

constexpr const char* kHashMap = "java.util.HashMap";
constexpr const char* kHashNode = "java.util.HashMap$Node";
constexpr const char* kTreeNode = "java.util.HashMap$TreeNode";
constexpr const char* kLinkedEntry = "java.util.LinkedHashMap$Entry";
constexpr const char* kConcurrent = "java.util.concurrent.ConcurrentHashMap";
constexpr const char* kImm = "java.util.ImmutableCollections$";

// Classes whose one field is the collection they wrap, and which iterate as it does.
const std::set<std::string> kWrapperPrefixes = {"java.util.Collections$Unmodifiable",
                                                "java.util.Collections$Synchronized"};

// Sets that are the key sets of a map they hold, and that field.
struct SetOverMap {
    const char* type;
    FieldName map;
};
const SetOverMap kSetsOverMaps[] = {
    {"java.util.HashSet", {"java.util.HashSet", "map"}},
    {"java.util.LinkedHashSet", {"java.util.HashSet", "map"}},
    {"java.util.TreeSet", {"java.util.TreeSet", "m"}},
    {"java.util.concurrent.ConcurrentHashMap$KeySetView",
     {"java.util.concurrent.ConcurrentHashMap$CollectionView", "map"}},
    {"java.util.Collections$SetFromMap", {"java.util.Collections$SetFromMap", "m"}},
};

const std::set<std::string> kDirectKinds = {
    kHashMap,
    "java.util.LinkedHashMap",
    "java.util.Hashtable",
    "java.util.Properties",
    "java.util.WeakHashMap",
    "java.util.IdentityHashMap",
    "java.util.TreeMap",
    kConcurrent,
    "java.util.ArrayList",
    "java.util.Vector",
    "java.util.concurrent.CopyOnWriteArrayList",
    "java.util.PriorityQueue",
    "java.util.ArrayDeque",
    "java.util.LinkedList",
    "java.util.ImmutableCollections$List12",
    "java.util.ImmutableCollections$ListN",
    "java.util.ImmutableCollections$Set12",
    "java.util.ImmutableCollections$SetN",
    "java.util.ImmutableCollections$Map1",
    "java.util.ImmutableCollections$MapN",
};

bool isWrapper(const std::string& type)
{
    for (const std::string& prefix : kWrapperPrefixes)
        if (type.rfind(prefix, 0) == 0)
            return true;
    return false;
}

const SetOverMap* setOverMap(const std::string& type)
{
    for (const SetOverMap& s : kSetsOverMaps)
        if (type == s.type)
            return &s;
    return nullptr;
}

long long arrayLength(ObjectCache& cache, const ObjectRef& array, const std::string& what)
{
    if (array.handle.empty())
        return 0;
    if (array.type.rfind("[L", 0) != 0 && array.type.rfind("[[", 0) != 0)
        throw LayoutMismatch{what + " " + describe(array) + " is not an array of references"};
    const ObjectView& view = cache.get(array.handle);
    if (view.length < 0)
        throw LayoutMismatch{what + " " + describe(array) + " has no length"};
    return view.length;
}

// A static of the object's own class, read from the class object its `class` slot
// names: WeakHashMap's and IdentityHashMap's NULL_KEY.
std::string staticObject(ObjectCache& cache, const ObjectView& view, const char* name)
{
    for (const Slot& slot : view.contents) {
        if (slot.how != "class" || !slot.refersToObject())
            continue;
        for (const Slot& s : cache.get(slot.target.handle).contents)
            if (s.how == "static" && s.name == name && s.refersToObject())
                return s.target.handle;
    }
    throw LayoutMismatch{view.object.type + "." + name + " could not be read"};
}

OpenedCollection opened(const ObjectView& view, CollectionShape shape, long long size, long long capacity)
{
    OpenedCollection c;
    c.kind = view.object.type;
    c.shape = shape;
    c.handle = view.object.handle;
    c.size = size;
    c.capacity = capacity;
    return c;
}

OpenedCollection openHashMap(ObjectCache& cache, const ObjectView& view, bool linked)
{
    const ObjectRef table = refField(view, {kHashMap, "table"});
    if (!table.handle.empty())
        expectType(table, {"[Ljava.util.HashMap$Node;"}, "its table");
    const long long length = arrayLength(cache, table, "its table");
    const long long size = intField(view, {kHashMap, "size"});
    OpenedCollection c = opened(view, CollectionShape::map, size, length);
    if (linked) {
        const char* lhm = "java.util.LinkedHashMap";
        LinkedChain chain{refField(view, {lhm, "head"}).handle, size, {kLinkedEntry, kTreeNode},
                          {kLinkedEntry, "after"}, {kHashNode, "key"}, {kHashNode, "value"}};
        c.walk = [&cache, chain] { return linkedWalk(cache, chain); };
        return c;
    }
    ChainTable t;
    t.table = table.handle;
    t.length = length;
    t.size = size;
    t.nodeTypes = {kHashNode, kTreeNode};
    t.key = {kHashNode, "key"};
    t.value = {kHashNode, "value"};
    t.next = {kHashNode, "next"};
    t.hash = {kHashNode, "hash"};
    c.walk = [&cache, t] { return chainTableWalk(cache, t); };
    return c;
}

OpenedCollection openHashtable(ObjectCache& cache, const ObjectView& view)
{
    const char* ht = "java.util.Hashtable";
    const char* entry = "java.util.Hashtable$Entry";
    const ObjectRef table = refField(view, {ht, "table"});
    if (!table.handle.empty())
        expectType(table, {"[Ljava.util.Hashtable$Entry;"}, "its table");
    ChainTable t;
    t.table = table.handle;
    t.length = arrayLength(cache, table, "its table");
    t.size = intField(view, {ht, "count"});
    t.descending = true;
    t.moduloBins = true;
    t.nodeTypes = {entry};
    t.key = {entry, "key"};
    t.value = {entry, "value"};
    t.next = {entry, "next"};
    t.hash = {entry, "hash"};
    OpenedCollection c = opened(view, CollectionShape::map, t.size, t.length);
    c.walk = [&cache, t] { return chainTableWalk(cache, t); };
    return c;
}

OpenedCollection openWeakHashMap(ObjectCache& cache, const ObjectView& view)
{
    const char* whm = "java.util.WeakHashMap";
    const char* entry = "java.util.WeakHashMap$Entry";
    const ObjectRef table = refField(view, {whm, "table"});
    if (!table.handle.empty())
        expectType(table, {"[Ljava.util.WeakHashMap$Entry;"}, "its table");
    ChainTable t;
    t.table = table.handle;
    t.length = arrayLength(cache, table, "its table");
    t.size = intField(view, {whm, "size"});
    t.descending = true;
    t.nodeTypes = {entry};
    t.key = {"java.lang.ref.Reference", "referent"};
    t.value = {entry, "value"};
    t.next = {entry, "next"};
    t.hash = {entry, "hash"};
    t.nullKey = staticObject(cache, view, "NULL_KEY");
    t.weakKeys = true;
    OpenedCollection c = opened(view, CollectionShape::map, t.size, t.length);
    c.walk = [&cache, t] { return chainTableWalk(cache, t); };
    return c;
}

OpenedCollection openConcurrentHashMap(ObjectCache& cache, const ObjectView& view)
{
    const ObjectRef table = refField(view, {kConcurrent, "table"});
    if (!table.handle.empty())
        expectType(table, {"[Ljava.util.concurrent.ConcurrentHashMap$Node;"}, "its table");
    const long long length = arrayLength(cache, table, "its table");
    // size() is baseCount plus every CounterCell's value, as sumCount() adds them.
    long long size = intField(view, {kConcurrent, "baseCount"});
    const ObjectRef cells = refField(view, {kConcurrent, "counterCells"});
    if (!cells.handle.empty()) {
        const ObjectView list = cache.elements(cells.handle, 0, arrayLength(cache, cells, "its counterCells"));
        for (const Slot& slot : list.contents)
            if (slot.how == "element" && slot.refersToObject())
                size += intField(cache.get(slot.target.handle),
                                 {"java.util.concurrent.ConcurrentHashMap$CounterCell", "value"});
    }
    OpenedCollection c = opened(view, CollectionShape::map, size, length);
    const std::string handle = table.handle;
    c.walk = [&cache, handle, length, size] { return concurrentMapWalk(cache, handle, length, size); };
    return c;
}

OpenedCollection openTreeMap(ObjectCache& cache, const ObjectView& view)
{
    const char* tm = "java.util.TreeMap";
    const ObjectRef root = refField(view, {tm, "root"});
    if (!root.handle.empty())
        expectType(root, {"java.util.TreeMap$Entry"}, "its root");
    const long long size = intField(view, {tm, "size"});
    OpenedCollection c = opened(view, CollectionShape::map, size, -1);
    const std::string handle = root.handle;
    c.walk = [&cache, handle, size] { return treeMapWalk(cache, handle, size); };
    return c;
}

OpenedCollection openIdentityHashMap(ObjectCache& cache, const ObjectView& view)
{
    const char* ihm = "java.util.IdentityHashMap";
    const ObjectRef table = refField(view, {ihm, "table"});
    expectType(table, {"[Ljava.lang.Object;"}, "its table");
    const long long length = arrayLength(cache, table, "its table");
    const long long size = intField(view, {ihm, "size"});
    const std::string nullKey = staticObject(cache, view, "NULL_KEY");
    OpenedCollection c = opened(view, CollectionShape::map, size, length / 2);
    const std::string handle = table.handle;
    c.walk = [&cache, handle, length, size, nullKey] {
        return identityTableWalk(cache, handle, length, size, nullKey);
    };
    return c;
}

OpenedCollection openArrayList(ObjectCache& cache, const ObjectView& view, FieldName array, FieldName count,
                               bool nulls)
{
    const ObjectRef elements = refField(view, array);
    ArraySpan span{elements.handle, arrayLength(cache, elements, "its array"), 0, 0, nulls};
    span.count = count.declared ? intField(view, count) : span.length;
    OpenedCollection c = opened(view, CollectionShape::list, span.count, span.length);
    arrayWalk(cache, span);  // checks the count fits the array
    c.walk = [&cache, span] { return arrayWalk(cache, span); };
    return c;
}

OpenedCollection openArrayDeque(ObjectCache& cache, const ObjectView& view)
{
    const char* ad = "java.util.ArrayDeque";
    const ObjectRef elements = refField(view, {ad, "elements"});
    ArraySpan span{elements.handle, arrayLength(cache, elements, "its array"), intField(view, {ad, "head"}), 0,
                   false};
    const long long tail = intField(view, {ad, "tail"});
    if (span.length == 0 || tail < 0 || tail >= span.length)
        throw LayoutMismatch{"its tail " + std::to_string(tail) + " is outside its array of " +
                             std::to_string(span.length)};
    span.count = (tail - span.head + span.length) % span.length;
    arrayWalk(cache, span);
    OpenedCollection c = opened(view, CollectionShape::list, span.count, span.length);
    c.walk = [&cache, span] { return arrayWalk(cache, span); };
    return c;
}

OpenedCollection openLinkedList(ObjectCache& cache, const ObjectView& view)
{
    const char* ll = "java.util.LinkedList";
    const char* node = "java.util.LinkedList$Node";
    const long long size = intField(view, {ll, "size"});
    LinkedChain chain{refField(view, {ll, "first"}).handle, size, {node}, {node, "next"}, {node, "item"}, {nullptr, ""}};
    OpenedCollection c = opened(view, CollectionShape::list, size, -1);
    c.walk = [&cache, chain] { return linkedWalk(cache, chain); };
    return c;
}

OpenedCollection openImmutable(ObjectCache& cache, const ObjectView& view)
{
    const std::string& type = view.object.type;
    const std::string d = type;
    if (type == std::string(kImm) + "ListN") {
        const ObjectRef elements = refField(view, {d.c_str(), "elements"});
        ArraySpan span{elements.handle, arrayLength(cache, elements, "its array"), 0, 0, false};
        span.count = span.length;
        span.nullsAllowed = boolField(view, {d.c_str(), "allowNulls"});
        OpenedCollection c = opened(view, CollectionShape::list, span.count, span.length);
        c.walk = [&cache, span] { return arrayWalk(cache, span); };
        return c;
    }
    const ImmutableStatics statics = readImmutableStatics(cache);
    if (type == std::string(kImm) + "SetN" || type == std::string(kImm) + "MapN") {
        const bool pairs = type == std::string(kImm) + "MapN";
        const ObjectRef table = refField(view, {d.c_str(), pairs ? "table" : "elements"});
        const long long length = arrayLength(cache, table, "its table");
        const long long size = intField(view, {d.c_str(), "size"});
        OpenedCollection c = opened(view, pairs ? CollectionShape::map : CollectionShape::set, size,
                                    pairs ? length / 2 : length);
        probedTableWalk(cache, pairs, table.handle, length, size, statics);  // checks size and table agree
        const std::string handle = table.handle;
        c.walk = [&cache, pairs, handle, length, size, statics] {
            return probedTableWalk(cache, pairs, handle, length, size, statics);
        };
        return c;
    }
    std::vector<CollectionEntry> entries = smallImmutableEntries(type, view, statics);
    const CollectionShape shape = type == std::string(kImm) + "Map1"   ? CollectionShape::map
                                  : type == std::string(kImm) + "Set12" ? CollectionShape::set
                                                                       : CollectionShape::list;
    OpenedCollection c = opened(view, shape, static_cast<long long>(entries.size()), -1);
    c.walk = [entries] { return fixedWalk(entries); };
    return c;
}

// A walk that gives each entry's key as a set's element.
class KeysWalk : public EntryWalk {
public:
    explicit KeysWalk(std::unique_ptr<EntryWalk> map) : map_(std::move(map)) {}
    void expect(long long entries) override { map_->expect(entries); }
    bool next(CollectionEntry& entry) override
    {
        if (!map_->next(entry))
            return false;
        entry.value = {};
        return true;
    }

private:
    std::unique_ptr<EntryWalk> map_;
};

OpenedCollection openDirect(ObjectCache& cache, const ObjectView& view)
{
    const std::string& type = view.object.type;
    if (type == kHashMap)
        return openHashMap(cache, view, false);
    if (type == "java.util.LinkedHashMap")
        return openHashMap(cache, view, true);
    if (type == "java.util.Hashtable")
        return openHashtable(cache, view);
    if (type == "java.util.WeakHashMap")
        return openWeakHashMap(cache, view);
    if (type == "java.util.IdentityHashMap")
        return openIdentityHashMap(cache, view);
    if (type == "java.util.TreeMap")
        return openTreeMap(cache, view);
    if (type == kConcurrent)
        return openConcurrentHashMap(cache, view);
    if (type == "java.util.ArrayList")
        return openArrayList(cache, view, {"java.util.ArrayList", "elementData"}, {"java.util.ArrayList", "size"}, true);
    if (type == "java.util.Vector")
        return openArrayList(cache, view, {"java.util.Vector", "elementData"}, {"java.util.Vector", "elementCount"},
                             true);
    if (type == "java.util.concurrent.CopyOnWriteArrayList")
        return openArrayList(cache, view, {"java.util.concurrent.CopyOnWriteArrayList", "array"}, {nullptr, ""}, true);
    if (type == "java.util.PriorityQueue")
        return openArrayList(cache, view, {"java.util.PriorityQueue", "queue"}, {"java.util.PriorityQueue", "size"},
                             false);
    if (type == "java.util.ArrayDeque")
        return openArrayDeque(cache, view);
    if (type == "java.util.LinkedList")
        return openLinkedList(cache, view);
    return openImmutable(cache, view);
}

// The collection itself: a Properties' table is its inner map's.
OpenedCollection openKind(ObjectCache& cache, const ObjectView& view)
{
    if (view.object.type == "java.util.Properties") {
        const ObjectRef map = refField(view, {"java.util.Properties", "map"});
        expectType(map, {kConcurrent}, "its map");
        OpenedCollection inner = openConcurrentHashMap(cache, cache.get(map.handle));
        inner.kind = view.object.type;
        inner.unwrapped.push_back(describe(view.object) + " keeps its entries in " + describe(map));
        return inner;
    }
    return openDirect(cache, view);
}

}  // namespace

bool isCollectionType(const std::string& type)
{
    return kDirectKinds.count(type) || setOverMap(type) || isWrapper(type);
}

std::optional<OpenedCollection> openCollection(ObjectCache& cache, const std::string& handle)
{
    std::vector<std::string> unwrapped;
    std::string at = handle;
    for (int depth = 0;; ++depth) {
        const ObjectView& view = cache.get(at);
        const std::string type = view.object.type;
        if (!isCollectionType(type)) {
            if (depth == 0)
                return std::nullopt;
            throw LayoutMismatch{"it wraps " + describe(view.object) + ", which is not read as a collection"};
        }
        if (depth > 16)
            throw LayoutMismatch{"more than 16 wrappers deep (a cycle?)"};
        if (isWrapper(type)) {
            // Every Unmodifiable and Synchronized wrapper keeps what it wraps in c or m.
            ObjectRef inner;
            for (const Slot& slot : view.contents)
                if (slot.how == "field" && (slot.name == "c" || slot.name == "m") &&
                    slot.declared.rfind("java.util.Collections$", 0) == 0)
                    inner = slot.target;
            if (inner.handle.empty())
                throw LayoutMismatch{describe(view.object) + " wraps nothing"};
            unwrapped.push_back(describe(view.object) + " wraps " + describe(inner));
            at = inner.handle;
            continue;
        }
        if (const SetOverMap* s = setOverMap(type)) {
            const ObjectRef map = refField(view, s->map);
            if (map.handle.empty())
                throw LayoutMismatch{describe(view.object) + " has no map"};
            const ObjectView& mapView = cache.get(map.handle);
            if (!kDirectKinds.count(mapView.object.type) || mapView.object.type.rfind(kImm, 0) == 0)
                throw LayoutMismatch{describe(view.object) + " keeps its elements in " + describe(map) +
                                     ", which is not read as a map"};
            OpenedCollection inner = openKind(cache, mapView);
            if (inner.shape != CollectionShape::map)
                throw LayoutMismatch{describe(view.object) + " keeps its elements in " + describe(map) +
                                     ", which is not a map"};
            unwrapped.push_back(describe(view.object) + " keeps its elements as the keys of " + describe(map));
            inner.kind = type;
            inner.shape = CollectionShape::set;
            auto mapWalk = inner.walk;
            inner.walk = [mapWalk]() -> std::unique_ptr<EntryWalk> { return std::make_unique<KeysWalk>(mapWalk()); };
            inner.unwrapped.insert(inner.unwrapped.begin(), unwrapped.begin(), unwrapped.end());
            return inner;
        }
        OpenedCollection c = openKind(cache, view);
        c.unwrapped.insert(c.unwrapped.begin(), unwrapped.begin(), unwrapped.end());
        return c;
    }
}
