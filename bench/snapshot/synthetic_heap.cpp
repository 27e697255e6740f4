#include "synthetic_heap.h"

#include <algorithm>
#include <stdexcept>

namespace {

// Class numbers, which are also the numbers of the class objects (the first objects).
enum Cls : uint32_t {
    kObject, kClass, kString, kBytes, kObjects, kHashMap, kNodeArray, kHashMapNode, kArrayList, kThread,
    kInteger, kTreeMap, kTreeMapEntry, kQueue, kQueueNode, kLinkedList, kLinkedListNode, kWeakHashMap,
    kWeakEntryArray, kWeakEntry, kSoftReference, kClassLoader,
    kSystemClasses = 2000,  // the rest of the boot loader's classes, held as roots
    kMain = kSystemClasses, kSession, kUser, kCartItem, kEvent, kSample, kTask, kOrder, kRole, kProduct,
    kWorkItem, kWeakKey, kWeakValue, kGarbage,
    kClasses = kSystemClasses + 50
};

const char* const kNames[] = {"java.lang.Object", "java.lang.Class", "java.lang.String", "byte[]",
    "java.lang.Object[]", "java.util.HashMap", "java.util.HashMap$Node[]", "java.util.HashMap$Node",
    "java.util.ArrayList", "java.lang.Thread", "java.lang.Integer", "java.util.TreeMap",
    "java.util.TreeMap$Entry", "java.util.concurrent.LinkedBlockingQueue",
    "java.util.concurrent.LinkedBlockingQueue$Node", "java.util.LinkedList", "java.util.LinkedList$Node",
    "java.util.WeakHashMap", "java.util.WeakHashMap$Entry[]", "java.util.WeakHashMap$Entry",
    "java.lang.ref.SoftReference", "jdk.internal.loader.ClassLoaders$AppClassLoader"};
const char* const kAppNames[] = {"app.Main", "app.Session", "app.User", "app.CartItem", "app.Event", "app.Sample",
    "app.Task", "app.Order", "app.Role", "app.Product", "app.WorkItem", "app.WeakKey", "app.WeakValue", "app.Junk"};

constexpr uint32_t kPerSession = 16;
constexpr uint32_t kThreads = 100;
constexpr uint32_t kWorkItems = 20;
constexpr uint32_t kPerThread = 5 + kWorkItems;
constexpr uint32_t kSamplesPerArray = 10000;
constexpr uint32_t kRoles = 100;
constexpr uint32_t kProducts = 1000;

// A fixed pseudo-random number per index, the same in both passes.
uint64_t mix(uint64_t x)
{
    x += 0x9e3779b97f4a7c15ull;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

uint32_t bytesUnits(uint64_t length)
{
    return static_cast<uint32_t>((16 + length + 7) / 8);
}

uint32_t arrayUnits(uint64_t slots)
{
    return static_cast<uint32_t>((16 + 4 * slots + 7) / 8);
}

// Counts in its first pass and fills the graph in its second; objects come in order.
class Emitter {
public:
    Emitter(HeapGraph* fill, bool implicitClass) : graph_(fill), implicitClass_(implicitClass)
    {
        if (graph_)
            graph_->firstEdge.push_back(0);
    }
    uint32_t next() const { return objects_; }

    // An object and its reference to its class.
    uint32_t object(uint32_t units, uint32_t cls)
    {
        if (graph_) {
            if (objects_ > 0)
                graph_->firstEdge.push_back(static_cast<uint32_t>(graph_->targets.size()));
            graph_->sizeUnits.push_back(units);
            graph_->classOf.push_back(cls);
        }
        ++objects_;
        if (!implicitClass_)
            ref(cls);
        return objects_ - 1;
    }
    void ref(uint32_t target)
    {
        if (graph_)
            graph_->targets.push_back(target);
        ++edges_;
    }
    void weak(uint32_t referent)
    {
        if (graph_)
            graph_->weakEdges.emplace_back(objects_ - 1, referent);
        ++weak_;
    }
    void root(uint32_t object)
    {
        if (graph_)
            graph_->roots.push_back(object);
        ++roots_;
    }
    void finish()
    {
        if (graph_) {
            graph_->firstEdge.push_back(static_cast<uint32_t>(graph_->targets.size()));
            graph_->objects = objects_;
        }
    }
    uint64_t objects_ = 0, edges_ = 0, weak_ = 0, roots_ = 0;

private:
    HeapGraph* graph_;
    bool implicitClass_;
};

struct Plan {
    uint32_t loader, loaderList, loaderArray;
    uint32_t threads;
    uint32_t globals, globalCount;
    uint32_t samples, sampleArrays, sampleCount;
    uint32_t blocks, blockCount;
    uint32_t tree, entries;
    uint32_t queue, queueNodes;
    uint32_t list, listNodes;
    uint32_t weakMap, weakEntries;
    uint32_t soft, softCount;
    uint32_t garbage, garbageCount;
    uint32_t sessionMap, sessions, tableSlots;
    uint32_t end;
};

Plan plan(uint32_t n)
{
    Plan p{};
    uint32_t at = kClasses;
    p.loader = at;
    p.loaderList = at + 1;
    p.loaderArray = at + 2;
    at += 3;
    p.threads = at;
    at += kThreads * kPerThread;
    p.globals = at;
    p.globalCount = std::max(10u, n / 1000);
    at += p.globalCount;
    p.samples = at;  // a holder array, then per array: the array and its samples
    p.sampleCount = n / 10;
    p.sampleArrays = (p.sampleCount + kSamplesPerArray - 1) / kSamplesPerArray;
    at += 1 + p.sampleArrays + p.sampleCount;
    p.blocks = at;
    p.blockCount = std::max(1u, n / 1000);
    at += 1 + p.blockCount;
    p.tree = at;  // the map, then per entry: entry, key, value
    p.entries = n / 100 * 8 / 3;
    at += 1 + 3 * p.entries;
    p.queue = at;  // the queue, then per node: node, task, payload
    p.queueNodes = n / 100 * 6 / 3;
    at += 1 + 3 * p.queueNodes;
    p.list = at;  // the list, then per node: node, item
    p.listNodes = n / 100 * 3 / 2;
    at += 1 + 2 * p.listNodes;
    p.weakMap = at;  // map, table, known-keys list and array, then entry, key, value
    p.weakEntries = n / 100 * 4 / 3;
    at += 4 + 3 * p.weakEntries;
    p.soft = at;  // holder array, then reference and referent
    p.softCount = n / 200;
    at += 1 + 2 * p.softCount;
    p.garbage = at;
    p.garbageCount = n / 50;
    at += p.garbageCount;
    p.sessionMap = at;  // map, table, then kPerSession per session
    if (n < at + 2 + kPerSession)
        throw std::invalid_argument("synthetic heap: too few objects for its shapes");
    p.sessions = (n - at - 2) / kPerSession;
    p.tableSlots = 1;
    while (p.tableSlots < p.sessions / 3 * 4)
        p.tableSlots *= 2;
    at += 2 + kPerSession * p.sessions;
    p.end = at;
    return p;
}

uint32_t sessionBase(const Plan& p, uint32_t s)
{
    return p.sessionMap + 2 + kPerSession * s;
}

// Every eighth session's map entry chains the next one, as a bucket collision does.
bool chainsNext(const Plan& p, uint32_t s)
{
    return s % 8 == 0 && s + 1 < p.sessions;
}

void emitClasses(Emitter& e, const Plan& p)
{
    for (uint32_t c = 0; c < kClasses; ++c) {
        e.object(c < kSystemClasses ? 40 + c % 50 : 80, kClass);
        if (c != kObject)
            e.ref(kObject);  // its super
        if (c < kSystemClasses)
            e.root(c);
        else
            e.ref(p.loader);
        if (c == kMain) {  // its statics hold the stores
            for (const uint32_t store : {p.sessionMap, p.samples, p.blocks, p.tree, p.queue, p.list, p.weakMap, p.weakMap + 2, p.soft})
                e.ref(store);
        }
    }
}

void emitLoader(Emitter& e, const Plan& p)
{
    e.object(12, kClassLoader);
    e.ref(p.loaderList);
    e.object(3, kArrayList);
    e.ref(p.loaderArray);
    e.object(arrayUnits(kClasses - kSystemClasses), kObjects);
    for (uint32_t c = kSystemClasses; c < kClasses; ++c)
        e.ref(c);
}

void emitThreads(Emitter& e, const Plan& p)
{
    for (uint32_t t = 0; t < kThreads; ++t) {
        const uint32_t base = p.threads + t * kPerThread;
        e.object(15, kThread);
        e.ref(base + 1);
        e.ref(p.loader);  // its context class loader
        e.ref(base + 3);
        e.root(base);
        e.object(3, kString);
        e.ref(base + 2);
        e.object(bytesUnits(12), kBytes);
        e.object(3, kArrayList);
        e.ref(base + 4);
        e.object(arrayUnits(kWorkItems), kObjects);
        for (uint32_t i = 0; i < kWorkItems; ++i)
            e.ref(base + 5 + i);
        for (uint32_t i = 0; i < kWorkItems; ++i) {
            e.object(4, kWorkItem);
            e.ref(p.threads + ((t + 1) % kThreads) * kPerThread);  // work handed between threads
        }
    }
}

void emitGlobals(Emitter& e, const Plan& p)
{
    for (uint32_t g = 0; g < p.globalCount; ++g) {
        const uint32_t self = e.object(2, kObject);
        e.root(self);
        // Every other global holds a session in use, beside the map.
        if (g % 2 == 0 && p.sessions > 0)
            e.ref(sessionBase(p, static_cast<uint32_t>(mix(g) % p.sessions)) + 3);
    }
}

void emitSamples(Emitter& e, const Plan& p)
{
    e.object(arrayUnits(p.sampleArrays), kObjects);
    uint32_t at = p.samples + 1;
    std::vector<uint32_t> arrays;
    for (uint32_t a = 0, left = p.sampleCount; a < p.sampleArrays; ++a, left -= kSamplesPerArray) {
        arrays.push_back(at);
        at += 1 + std::min(left, kSamplesPerArray);
    }
    for (const uint32_t a : arrays)
        e.ref(a);
    for (uint32_t a = 0, left = p.sampleCount; a < p.sampleArrays; ++a, left -= kSamplesPerArray) {
        const uint32_t count = std::min(left, kSamplesPerArray);
        const uint32_t self = e.object(arrayUnits(count), kObjects);
        for (uint32_t i = 0; i < count; ++i)
            e.ref(self + 1 + i);
        for (uint32_t i = 0; i < count; ++i)
            e.object(3, kSample);
    }
}

void emitBlocks(Emitter& e, const Plan& p)
{
    e.object(arrayUnits(p.blockCount), kObjects);
    for (uint32_t b = 0; b < p.blockCount; ++b)
        e.ref(p.blocks + 1 + b);
    for (uint32_t b = 0; b < p.blockCount; ++b)
        e.object(bytesUnits(16384), kBytes);
}

// A tree map as a complete binary tree of entries with parent links.
void emitTree(Emitter& e, const Plan& p)
{
    e.object(6, kTreeMap);
    if (p.entries > 0)
        e.ref(p.tree + 1);
    auto entry = [&p](uint64_t i) { return static_cast<uint32_t>(p.tree + 1 + 3 * i); };
    for (uint64_t i = 0; i < p.entries; ++i) {
        e.object(5, kTreeMapEntry);
        e.ref(entry(i) + 1);
        e.ref(entry(i) + 2);
        if (2 * i + 1 < p.entries)
            e.ref(entry(2 * i + 1));
        if (2 * i + 2 < p.entries)
            e.ref(entry(2 * i + 2));
        e.ref(i == 0 ? p.tree : entry((i - 1) / 2));
        e.object(2, kInteger);
        e.object(3, kOrder);
        e.ref(sessionBase(p, static_cast<uint32_t>(mix(i) % p.sessions)) + 4);  // the order's user
    }
}

// A singly linked queue as one long chain; the queue also holds its last node.
void emitQueue(Emitter& e, const Plan& p)
{
    auto node = [&p](uint32_t i) { return p.queue + 1 + 3 * i; };
    e.object(6, kQueue);
    if (p.queueNodes > 0) {
        e.ref(node(0));
        e.ref(node(p.queueNodes - 1));
    }
    for (uint32_t i = 0; i < p.queueNodes; ++i) {
        e.object(3, kQueueNode);
        e.ref(node(i) + 1);
        if (i + 1 < p.queueNodes)
            e.ref(node(i + 1));
        e.object(3, kTask);
        e.ref(node(i) + 2);
        e.ref(p.queue);  // the task knows its queue: a reference back up the chain
        e.object(bytesUnits(64), kBytes);
    }
}

// A doubly linked list: every node is dominated by the list itself.
void emitList(Emitter& e, const Plan& p)
{
    auto node = [&p](uint32_t i) { return p.list + 1 + 2 * i; };
    e.object(4, kLinkedList);
    if (p.listNodes > 0) {
        e.ref(node(0));
        e.ref(node(p.listNodes - 1));
    }
    for (uint32_t i = 0; i < p.listNodes; ++i) {
        e.object(4, kLinkedListNode);
        e.ref(node(i) + 1);
        if (i + 1 < p.listNodes)
            e.ref(node(i + 1));
        if (i > 0)
            e.ref(node(i - 1));
        e.object(4, kProduct);
    }
}

// A WeakHashMap: entries refer to their keys weakly; one key in ten is also held strongly.
void emitWeakMap(Emitter& e, const Plan& p)
{
    const uint32_t table = p.weakMap + 1, knownArray = p.weakMap + 3;
    auto entry = [&p](uint32_t i) { return p.weakMap + 4 + 3 * i; };
    e.object(6, kWeakHashMap);
    e.ref(table);
    e.object(arrayUnits(p.weakEntries), kWeakEntryArray);
    for (uint32_t i = 0; i < p.weakEntries; ++i)
        e.ref(entry(i));
    e.object(3, kArrayList);
    e.ref(knownArray);
    e.object(arrayUnits(p.weakEntries / 10 + 1), kObjects);
    for (uint32_t i = 0; i < p.weakEntries; i += 10)
        e.ref(entry(i) + 1);
    for (uint32_t i = 0; i < p.weakEntries; ++i) {
        e.object(5, kWeakEntry);
        e.weak(entry(i) + 1);
        e.ref(entry(i) + 2);
        e.object(3, kWeakKey);
        e.object(4, kWeakValue);
    }
}

void emitSoftCache(Emitter& e, const Plan& p)
{
    e.object(arrayUnits(p.softCount), kObjects);
    for (uint32_t i = 0; i < p.softCount; ++i)
        e.ref(p.soft + 1 + 2 * i);
    for (uint32_t i = 0; i < p.softCount; ++i) {
        e.object(4, kSoftReference);
        e.weak(p.soft + 2 + 2 * i);
        e.object(bytesUnits(1024), kBytes);
    }
}

void emitGarbage(Emitter& e, const Plan& p)
{
    for (uint32_t i = 0; i < p.garbageCount; ++i) {
        e.object(3, kGarbage);
        e.ref(p.garbage + static_cast<uint32_t>(mix(i) % p.garbageCount));
        if (i % 4 == 0 && p.sessions > 0)
            e.ref(sessionBase(p, static_cast<uint32_t>(mix(i + 1) % p.sessions)) + 3);
    }
}

// Per session: map entry, key String and bytes, Session, User, name String and bytes,
// token bytes, cart ArrayList and array, three items, three events.
void emitSessions(Emitter& e, const Plan& p)
{
    const uint32_t table = p.sessionMap + 1;
    e.object(6, kHashMap);
    e.ref(table);
    e.object(arrayUnits(p.tableSlots), kNodeArray);
    for (uint32_t s = 0; s < p.sessions; ++s) {
        if (s == 0 || !chainsNext(p, s - 1))
            e.ref(sessionBase(p, s));
    }
    for (uint32_t s = 0; s < p.sessions; ++s) {
        const uint32_t b = sessionBase(p, s);
        const uint64_t r = mix(s);
        e.object(4, kHashMapNode);
        e.ref(b + 1);
        e.ref(b + 3);
        if (chainsNext(p, s))
            e.ref(sessionBase(p, s + 1));
        e.object(3, kString);
        e.ref(b + 2);
        e.object(bytesUnits(8 + r % 8), kBytes);
        e.object(6, kSession);  // its id is the map's key: a diamond under the entry
        e.ref(b + 1);
        e.ref(b + 4);
        e.ref(b + 7);
        e.ref(b + 8);
        e.ref(b + 13);
        e.object(4, kUser);
        e.ref(b + 5);
        e.ref(p.globals + static_cast<uint32_t>(r % kRoles % p.globalCount));  // a shared role
        e.object(3, kString);
        e.ref(b + 6);
        e.object(bytesUnits(10 + r % 20), kBytes);
        e.object(bytesUnits(32), kBytes);
        e.object(3, kArrayList);
        e.ref(b + 9);
        e.object(arrayUnits(10), kObjects);
        e.ref(b + 10);
        e.ref(b + 11);
        e.ref(b + 12);
        for (uint32_t i = 0; i < 3; ++i) {
            e.object(3, kCartItem);
            e.ref(p.list + 2 + 2 * static_cast<uint32_t>((r >> (8 * i)) % kProducts % std::max(1u, p.listNodes)));
        }
        for (uint32_t i = 0; i < 3; ++i) {
            e.object(4 + i, kEvent);
            e.ref(i < 2 ? b + 14 + i : b + 3);  // the last event refers back to its session
        }
    }
}

void emitAll(Emitter& e, const Plan& p)
{
    emitClasses(e, p);
    emitLoader(e, p);
    emitThreads(e, p);
    emitGlobals(e, p);
    emitSamples(e, p);
    emitBlocks(e, p);
    emitTree(e, p);
    emitQueue(e, p);
    emitList(e, p);
    emitWeakMap(e, p);
    emitSoftCache(e, p);
    emitGarbage(e, p);
    emitSessions(e, p);
    e.finish();
    if (e.objects_ != p.end)
        throw std::logic_error("synthetic heap: the layout and the objects written disagree");
}

}  // namespace

SyntheticHeap makeSyntheticHeap(uint32_t objects, bool implicitClassReferences)
{
    const Plan p = plan(objects);
    Emitter counter(nullptr, implicitClassReferences);
    emitAll(counter, p);

    SyntheticHeap heap;
    HeapGraph& g = heap.graph;
    g.sizeUnits.reserve(counter.objects_);
    g.classOf.reserve(counter.objects_);
    g.firstEdge.reserve(counter.objects_ + 1);
    g.targets.reserve(counter.edges_);
    g.weakEdges.reserve(counter.weak_);
    g.roots.reserve(counter.roots_);
    Emitter filler(&g, implicitClassReferences);
    emitAll(filler, p);
    if (implicitClassReferences) {
        for (uint32_t c = 0; c < kClasses; ++c)
            g.classObject.push_back(c);  // class numbers are the class objects' numbers
    }
    heap.sessionMap = p.sessionMap;
    heap.sessionTable = p.sessionMap + 1;
    heap.queueHead = p.queue + 1;
    heap.queueLength = p.queueNodes;
    heap.mainClass = kMain;
    for (uint32_t c = 0; c < kClasses; ++c) {
        if (c < sizeof(kNames) / sizeof(kNames[0]))
            heap.classNames.push_back(kNames[c]);
        else if (c >= kSystemClasses && c - kSystemClasses < sizeof(kAppNames) / sizeof(kAppNames[0]))
            heap.classNames.push_back(kAppNames[c - kSystemClasses]);
        else
            heap.classNames.push_back(c < kSystemClasses ? "java.lang.System" + std::to_string(c) : "app.Class" + std::to_string(c));
    }
    return heap;
}
