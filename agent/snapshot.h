// The heap snapshot of the classic commands: the class table with every loaded class
// tagged, the root list, and the listing of the latest walk (build_listing). Everything
// here runs on the command server thread while it is attached to the VM.
#pragma once

#include <jni.h>
#include <jvmti.h>

#include <unordered_map>
#include <vector>

#include "listing.h"
#include "object_list.h"

struct Agent;

// The reference fields of a class and its superclasses in the order the heap walk
// reports them, for the direct walk; eligible == false: take the heap walk.
struct FieldPlan {
    bool eligible = false;
    std::vector<jfieldID> fields;
};

struct Snapshot {
    // Weak, so they stay valid across detach without holding the classes as roots.
    std::vector<jweak> class_refs;
    RootList roots;
    int32_t visit_counter = 0;
    // Numbers the reference walks, so a walk knows in constant time whether it has listed
    // a descriptor already (wrapping after 2^32 walks could skip an entry once).
    uint32_t reference_walk = 0;
    Listing reply;
    // What the reference walk in progress has found, when it is not traced (the traced
    // walk keeps the descriptor's own list).
    std::vector<ObjectDetails*> walk_entries;
    // Counts the snapshots ("p"); a descriptor remembers the latest one that named it.
    uint32_t generation = 1;
    // How many object descriptors the latest sweep kept (see sweep.h).
    size_t kept_at_sweep = 0;
    // Reference fields per class descriptor for the direct walk; stale with a new table.
    std::unordered_map<const ObjectDetails*, FieldPlan> field_plans;
};

// Rebuilds the class table after a forced collection and tags every loaded class.
void prepareSnapshot(Agent& agent, JNIEnv* jni);
// Untags the classes of the current table and frees it.
void releaseSnapshot(Agent& agent, JNIEnv* jni);
// Gives the listing's memory back once it has been sent.
void release_reply(Agent& agent);
