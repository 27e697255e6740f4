// What a front end asks for, as plain structs, and the request each one becomes. An
// option left unset is not sent, so the agent's default applies.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "request_line.h"

struct RootsQuery {
    std::optional<long long> offset;
    std::optional<long long> limit;
};

struct ObjectQuery {
    std::string handle;
    std::optional<long long> offset;  // arrays: the first element listed
    std::optional<long long> limit;   // arrays: how many elements
};

// Several objects in one request, each as `object` lists it, and with `follow` the
// objects their fields of those names refer to, breadth first, up to `max` in all.
struct ObjectsQuery {
    std::vector<std::string> handles;
    std::vector<std::string> follow;
    std::optional<long long> max;
    std::optional<long long> offset;  // arrays: the first element listed
    std::optional<long long> limit;   // arrays: how many elements
};

// The class objects of the loaded classes of that name (one per class loader).
struct ClassQuery {
    std::string className;
};

struct HistoQuery {
    std::string match;  // keeps the classes whose type contains it; empty keeps all
    std::optional<long long> limit;
    bool agentWalk = false;  // counted by the agent's own heap walk, not the VM's histogram
};

struct InstancesQuery {
    std::string className;  // Java or JVM form: java.util.HashMap, int[], [I, java/util/HashMap
    bool subclasses = false;
    std::optional<long long> offset;
    std::optional<long long> limit;
    bool collectFirst = true;  // false sends gc=0: also objects not yet collected
    // Keeps Strings whose text contains it, and objects with a String or primitive field
    // whose text (as `object` prints it) does; empty keeps all.
    std::string contains = {};
};

struct ReferrersQuery {
    std::string handle;
    std::optional<long long> limit;
};

struct PathQuery {
    std::string handle;
    bool throughWeak = false;  // weak=1: the chain may pass a Reference's referent
    std::optional<long long> depth;
};

// One reference of a chain for follow: a static field of the class the chain starts at,
// an instance field (declared by a class, to tell shadowed fields apart), an array
// element, or a class's loader; type, when given, is the class the step must reach.
struct FollowStep {
    std::string how;       // static, field, element, loader
    std::string name;      // the field's name, or the element's index
    std::string declared;  // field: the declaring class; may be empty
    std::string type;      // Class.getName form; empty: not checked
};

// A chain of references from a loaded class or a live thread, by name.
struct FollowQuery {
    std::string rootKind;  // class, thread
    std::string rootName;  // the class's name (java.util.HashMap), or the thread's
    std::vector<FollowStep> steps;
};

Request helloRequest();
Request toRequest(const RootsQuery& query);
Request toRequest(const ObjectQuery& query);
Request toRequest(const ObjectsQuery& query);
Request toRequest(const ClassQuery& query);
Request toRequest(const HistoQuery& query);
Request toRequest(const InstancesQuery& query);
Request toRequest(const ReferrersQuery& query);
Request toRequest(const PathQuery& query);
Request toRequest(const FollowQuery& query);
