// The heap snapshot of the classic commands: class table, tags and the walks that
// produce listing text. Everything here runs on the command server thread while it is
// attached to the VM.
#pragma once

#include <jni.h>
#include <jvmti.h>

#include <string>
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
// Runs the root walk (handle 0) or the one-level reference walk from the object with
// that handle, and leaves its listing as the reply.
void buildListing(Agent& agent, JNIEnv* jni, uint32_t handle);
// Gives the listing's memory back once it has been sent.
void release_reply(Agent& agent);

// The object tagged with tag, as a local reference, or nullptr.
jobject getObject(jvmtiEnv* env, jlong tag);

// What the classic walk callbacks are given as user data.
struct WalkContext {
    Agent* agent = nullptr;
    ObjectDetails* start = nullptr;  // the reference walk's start object
};

// Walk callbacks with the JVMTI 1.0 heap-callback signatures; the walks themselves run
// on FollowReferences and translate its reports into these. user_data is a WalkContext.
jvmtiIterationControl JNICALL heap_root_callback(jvmtiHeapRootKind root_kind, jlong class_tag, jlong size,
                                                 jlong* tag_ptr, void* user_data);
jvmtiIterationControl JNICALL object_ref_callback(jvmtiObjectReferenceKind reference_kind, jlong class_tag,
                                                  jlong size, jlong* tag_ptr, jlong referrer_tag,
                                                  jint referrer_index, void* user_data);
