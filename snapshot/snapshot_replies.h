// What the snapshot's queries answer (snapshot_queries.h): plain structs, no Qt, ready
// for a terminal, a JSON document or a window's model. Types are named as Java writes
// them ("int[]", "java.util.HashMap$Node[]"), sizes are in bytes, a share is a fraction
// of the strongly reachable heap. Every reply carries notes: what its figures mean and
// what the dump left out, one sentence each.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "heap_graph.h"

using Notes = std::vector<std::string>;

// An object as every reply names it.
struct ObjectRow {
    uint32_t object = kNoObject;
    std::string id;    // "s1234": the snapshot's own name for it (object_ids.h)
    std::string type;  // as Java writes it
    uint64_t shallow = 0;
    uint64_t retained = 0;  // what the next collections would free without it; 0 unreachable
    double share = 0;       // retained / the strongly reachable heap
    bool reachable = true;  // a chain of strong references from a GC root reaches it
    // What can be said without reading values: "class java.lang.String" for a class
    // object, "[12]" for an array of a known length; with values, a String's text in
    // quotes, a boxed value. Empty otherwise.
    std::string preview;
};

// The snapshot as a whole.
struct HeapSummary {
    uint64_t objects = 0;
    uint64_t bytes = 0;  // every object's shallow size, as the VM's class histogram counts
    uint64_t reachableObjects = 0;
    uint64_t reachableBytes = 0;  // what the shares are of
    uint64_t unreachableObjects = 0;
    uint64_t unreachableBytes = 0;
    uint64_t classes = 0;
    uint64_t roots = 0;
    uint64_t dumpBytes = 0;
    std::string javaVersion;  // when the dump says
    std::string layout;       // the object layout the sizes follow: "compressed oops, ..."
    bool weakAsStrong = false;
    bool values = false;  // primitive values and array elements can be read again
};

// A GC root holding an object, named as people name it.
struct RootRow {
    std::string kind;         // "JNI global", "system class", "thread", "Java frame", ...
    std::string description;  // `thread "main"`, `Java frame of thread "main" in Demo.main`, ...
    std::string thread;       // its thread's name, for the kinds that have one
    std::string method;       // Java frames and JNI locals: the method, when known
};

// One step of a path: how the previous step's object refers to this one.
struct PathHop {
    std::string via;  // "next", "[3]", "<class>", "static SESSIONS", "referent"; empty first
    bool weak = false;  // through a Reference's referent
    ObjectRow object;
};

struct RootPathReply {
    ObjectRow target;
    std::string found;           // "strong", "weak" (only through a referent), "none"
    std::vector<RootRow> roots;  // every root that holds the first step's object
    std::vector<PathHop> steps;  // from the object a root holds to the target
    // Who holds the target, in a few words: the last static on the way ("LeakyCache.SESSIONS"),
    // else the root (`thread "main"`); empty when nothing reaches it.
    std::string heldBy;
    Notes notes;
};

// A big object, with where its memory accumulates and how it is held.
struct BigObjectRow {
    ObjectRow object;
    ObjectRow accumulation;  // the object below it whose children hold most of it (may be itself)
    uint64_t accumulationChildren = 0;  // objects the accumulation point dominates directly
    // "one java.util.HashMap held by LeakyCache.SESSIONS retains 292 MB (89 %): 1,100,000
    // java.util.HashMap$Node holding LeakyCache$Session objects in its java.util.HashMap$Node[]"
    std::string sentence;
    RootPathReply path;
};

struct TopReply {
    HeapSummary heap;
    std::vector<BigObjectRow> rows;  // largest first; none holds another
    Notes notes;
};

struct SuspectsReply {
    HeapSummary heap;
    double threshold = 0.10;         // objects retaining at least this share
    std::vector<BigObjectRow> rows;  // largest first
    Notes notes;
};

// A node of the dominator tree and what it dominates directly, a page at a time.
struct DominatedRow {
    ObjectRow object;
    uint64_t dominated = 0;  // its own children in the tree
};

struct DominatorsReply {
    bool top = true;  // the children of the virtual root above all GC roots
    ObjectRow parent;  // when not top
    uint64_t total = 0;  // children in all
    uint64_t offset = 0;
    std::vector<DominatedRow> rows;  // largest retained first
    Notes notes;
};

struct HistogramRow {
    std::string className;  // Class.getName(), as jcmd GC.class_histogram prints it
    std::string type;       // as Java writes it
    uint64_t objects = 0;
    uint64_t shallow = 0;
    uint64_t retained = 0;  // what its instances hold between them, each object once
};

struct HistogramQuery {
    std::string match;          // keeps the classes whose name holds this
    uint64_t limit = UINT64_MAX;
    bool byRetained = false;    // order by retained bytes instead of shallow bytes
};

struct HistogramReply {
    std::vector<HistogramRow> rows;
    uint64_t classes = 0;  // classes with objects, in all
    uint64_t matched = 0;  // of them, those the query kept before its limit
    uint64_t objects = 0;
    uint64_t bytes = 0;
    uint64_t reachableBytes = 0;
    Notes notes;
};

struct InstancesReply {
    std::string className;
    uint32_t classes = 0;  // the class and, if asked, its subclasses that have instances
    uint64_t total = 0;
    uint64_t offset = 0;
    std::vector<ObjectRow> rows;  // largest retained first
    Notes notes;
};

// One thing an object holds: a field, a static, an element, its class, ...
struct ObjectSlot {
    std::string how;           // field, static, element, class, super, loader, signers, domain, pool, referent
    std::string name;          // the field's or static's name; an element's index
    std::string declaringClass;  // fields and statics: the class that declares it (Java's name)
    std::string declaredType;  // fields, statics: "int", "java.lang.Object"; elements: the component type
    bool reference = false;    // holds a reference (null or not)
    std::string value;         // a primitive's value as Java prints it, or "null"; empty for an object
    ObjectRow target;          // the object referred to, when there is one
    bool weak = false;         // a Reference's referent: it does not keep the target alive
};

struct ObjectReply {
    ObjectRow object;
    std::string address;       // the dump's identifier: "0x7f3a2c10"
    ObjectRow dominator;       // its immediate dominator; no object for a root's own or unreachable
    bool dominatedByRoots = false;  // only the GC roots together keep it alive
    int64_t length = -1;       // arrays: the exact length when known
    bool hasText = false;      // a String whose text could be read
    std::string text;
    bool values = false;       // primitive values were read from the dump
    std::vector<ObjectSlot> slots;
    uint64_t elementOffset = 0;  // arrays: the first element listed
    uint64_t elements = 0;       // arrays: elements (with values) or references (without) in all
    Notes notes;
};

struct ReferrerRow {
    ObjectRow holder;
    std::string via;  // what the holder holds it by: "next", "[3]", "static CACHE", "<class>"
    bool weak = false;
};

struct ReferrersReply {
    ObjectRow target;
    uint64_t total = 0;  // referring references in all, however many are listed
    std::vector<ReferrerRow> rows;
    std::vector<RootRow> roots;  // GC roots that hold it
    Notes notes;
};

// What a snapshot keeps for comparing it with another one later: its classes' totals and
// what tells its program apart.
struct ClassProfile {
    struct Totals {
        std::string className;
        uint64_t objects = 0;
        uint64_t shallow = 0;
        uint64_t retained = 0;
    };
    std::vector<Totals> classes;  // by name, classes of one name from several loaders summed
    std::vector<std::string> applicationClasses;  // sorted: loaded by a class loader of the program
    std::string mainMethod;  // the main thread's first frame ("LeakyCache.main"), when known
    uint64_t objects = 0;
    uint64_t bytes = 0;
    uint64_t reachableBytes = 0;
    bool weakAsStrong = false;
};

struct ClassDelta {
    std::string className;
    std::string type;
    int64_t objects = 0, shallow = 0, retained = 0;  // after - before
    uint64_t objectsAfter = 0, shallowAfter = 0, retainedAfter = 0;
};

struct CompareReply {
    bool comparable = false;
    std::string refusal;  // why not, when not comparable
    std::vector<ClassDelta> rows;  // growth of retained bytes first, then of shallow bytes
    int64_t objects = 0, bytes = 0, reachableBytes = 0;  // after - before, the whole heap
    Notes notes;
};
