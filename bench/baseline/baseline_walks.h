// The JVMTI calls the agent makes for a snapshot and a listing, with callbacks that only
// count: the cost the VM itself sets for each request.
#pragma once

#include <jni.h>
#include <jvmti.h>

#include <cstdint>
#include <string>

struct StepTimes {
    int64_t gc_ns = 0;
    int64_t classes_ns = 0;
    int64_t walk_ns = 0;
    int64_t count = 0;  // classes for a prepare, roots or references for a walk
    int64_t classes = 0;
};

// ForceGarbageCollection, then GetLoadedClasses, GetClassSignature, Deallocate and SetTag
// for every class, then the root walk that visits nothing beyond the roots.
StepTimes prepare_and_walk_roots(jvmtiEnv* env);

// Tags the first JNI-global root whose class has this signature so walk_from_selected
// can find it the way the agent finds an object: by its tag. False when none matched.
bool select_root(jvmtiEnv* env, const std::string& signature);

// GetObjectsWithTags for the selected object, then the one-level reference walk from it.
// With tag_each, every untagged referenced object gets a tag of its own, as the agent
// gives each a descriptor.
StepTimes walk_from_selected(jvmtiEnv* env, bool tag_each);
