// The typed views of framed replies that every front end shows: one struct per reply,
// built from its records. Types stay in the wire's Class.getName() form (type_names.h);
// a number the reply lacks is -1.
#pragma once

#include <string>
#include <vector>

#include "records.h"

// An object as replies name it: handle, type, shallow size, preview.
struct ObjectRef {
    std::string handle;  // lower-case hex, the same as in classic listings
    std::string type;
    long long size = -1;
    std::string preview;  // a String's text in quotes, a boxed value, "[N]", or empty
};

struct RequestInfo {
    std::string name;
    std::string synopsis;
};

struct Hello {
    std::string agentName;  // "vorlanagt"
    std::string agentVersion;
    std::string protocol;
    std::string jvmName;
    std::string jvmVersion;
    long long pid = -1;
    std::vector<RequestInfo> requests;
    Figures figures;
};

// One thing an object holds: a field, an element, its class, a static...
struct Slot {
    std::string how;       // field, static, element, class, super, loader, pool, ...
    std::string name;      // the field's name, the element's index
    std::string declared;  // the class declaring the field
    std::string declType;  // the field's declared type, an array's component type
    std::string value;     // a primitive's value as Java prints it, "null", or empty
    ObjectRef target;      // what a reference refers to; no handle otherwise

    bool refersToObject() const { return !target.handle.empty(); }
};

struct ObjectView {
    ObjectRef object;
    long long length = -1;  // arrays only: the total element count
    bool hasText = false;   // Strings: text holds the whole text
    std::string text;
    std::vector<Slot> contents;  // everything it holds, in the reply's order
    Figures figures;  // for arrays, the offset and limit of the listed elements
};

struct HistoRow {
    std::string type;
    long long instances = -1;
    long long bytes = -1;
};

// The rows kept by match and limit; the totals count the whole heap.
struct Histogram {
    long long classes = -1;
    long long instances = -1;
    long long bytes = -1;
    std::vector<HistoRow> rows;
    Figures figures;
};

struct InstancesPage {
    long long total = -1;
    long long offset = -1;
    long long limit = -1;
    long long classes = -1;  // how many loaded classes matched
    std::vector<ObjectRef> rows;
    Figures figures;
};

struct GcRoot {
    std::string kind;  // jni-global, system-class, monitor, stack-local, jni-local, thread, other
    std::string thread;
    std::string method;
};

// A holder and how it holds the object asked about (referrers), or the next hop of a
// path (the object, held by the hop before through how/name/declared).
struct Hop {
    std::string how;
    std::string name;
    std::string declared;
    ObjectRef object;
};

// An object a GC root holds, and that root.
struct HeldRoot {
    GcRoot root;
    ObjectRef object;
};

struct RootsPage {
    long long total = -1;  // rows in all: an object several roots hold has one each
    std::vector<HeldRoot> rows;
    Figures figures;
};

struct Referrers {
    long long total = -1;  // all referring objects, however many are listed
    std::vector<Hop> rows;
    std::vector<GcRoot> roots;
    Figures figures;
};

struct PathReply {
    std::string found;  // strong, weak, none
    long long length = -1;
    std::vector<std::string> notes;
    bool hasRoot = false;
    GcRoot root;
    std::vector<Hop> steps;  // from the one the root holds to the object asked about
    Figures figures;
};

// Where a chain of references leads in the running VM: every object it reached, the
// start first (its how is class or thread); found when it reached its end with every
// class as expected, else the notes say where and why it broke off.
struct FollowReply {
    bool found = false;
    long long steps = -1;     // in the chain asked for
    long long followed = -1;  // that reached what they should
    std::vector<std::string> notes;
    std::vector<Hop> chain;
    Figures figures;
};

Hello helloFrom(const FramedReply& reply);
// objects: one view per `object` record with the records after it, in the reply's order.
std::vector<ObjectView> objectsFrom(const FramedReply& reply);
// class: the class objects listed.
std::vector<ObjectRef> classObjectsFrom(const FramedReply& reply);
ObjectView objectFrom(const FramedReply& reply);
Histogram histogramFrom(const FramedReply& reply);
InstancesPage instancesFrom(const FramedReply& reply);
Referrers referrersFrom(const FramedReply& reply);
PathReply pathFrom(const FramedReply& reply);
FollowReply followFrom(const FramedReply& reply);
RootsPage rootsFrom(const FramedReply& reply);
