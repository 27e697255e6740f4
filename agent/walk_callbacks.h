// What the classic walks record: the JVMTI 1.0 heap callbacks that give every object a
// walk reports a descriptor and a tag, count instances per class, and keep the root
// list and the reference lists. The walks themselves run on FollowReferences
// (build_listing) or read fields directly (direct_walk), and report through these.
#pragma once

#include <jvmti.h>

struct Agent;
struct ObjectDetails;

// What the callbacks are given as user data.
struct WalkContext {
    Agent* agent = nullptr;
    ObjectDetails* start = nullptr;  // the reference walk's start object
};

jvmtiIterationControl JNICALL heap_root_callback(jvmtiHeapRootKind root_kind, jlong class_tag, jlong size,
                                                 jlong* tag_ptr, void* user_data);
jvmtiIterationControl JNICALL object_ref_callback(jvmtiObjectReferenceKind reference_kind, jlong class_tag,
                                                  jlong size, jlong* tag_ptr, jlong referrer_tag,
                                                  jint referrer_index, void* user_data);
