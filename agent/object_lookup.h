// Finding the object a descriptor names without asking the VM for every tag it holds:
// GetObjectsWithTags looks through the whole tag map, so its cost grows with every
// object ever listed. A descriptor instead keeps a weak reference to its object once
// the agent has had one in hand, or remembers through which field or element of which
// listed object it was reached, so the object is read back from there.
#pragma once

#include <jni.h>
#include <jvmti.h>

#include <cstdint>

struct Agent;
struct ObjectDetails;

// Keeps a weak reference to obj in the descriptor with this handle, if it has none.
void remember_object(Agent& agent, JNIEnv* jni, uint32_t handle, jobject obj);

// The object d names, as a local reference; nullptr when it is gone. With traced, the
// detailed trace shows the lookup as the tag search it replaces ("getObject:...").
jobject lookup_object(Agent& agent, JNIEnv* jni, ObjectDetails* d, bool traced);

// Weak references for the root-list descriptors that have none yet, after a root walk.
void remember_roots(Agent& agent, JNIEnv* jni);

// The object tagged with tag, as a local reference, or nullptr: the tag search the
// classic commands trace ("getObject:...").
jobject getObject(jvmtiEnv* env, jlong tag);

// Drops d's weak reference, before d is freed.
void forget_object(JNIEnv* jni, ObjectDetails* d);
