// The one-level walk of a plain instance read straight from its fields, for VMs whose
// heap walk costs a pass over the whole heap per call: JDK 17's FollowReferences restores
// object marks by iterating every object afterwards, 15 ms on a 3-million-object heap
// even for an object with three fields.
#pragma once

#include <jni.h>
#include <jvmti.h>

#include "object_details.h"

struct Agent;

// Decided once at load: true only on VMs whose heap walk reports a plain instance's
// references in the order the direct walk reproduces (class first, then each class's
// reference fields in reverse class-file order, the object's own class before its
// superclasses) and is known to cost a whole-heap pass.
bool choose_direct_walk(jvmtiEnv* env);

// Reports object's references to object_ref_callback as the heap walk would, and
// returns true; returns false, reporting nothing, when the object is not a plain
// instance (arrays, class objects and java.lang.ref.Reference objects take the heap walk).
bool walk_fields_directly(Agent& agent, JNIEnv* jni, jobject object, ObjectDetails* start);

