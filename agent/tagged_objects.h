// Finding objects by their tags: one search of an environment's tag map for many tags.
// The VM compares every entry of the map with every tag asked for, so callers ask in
// batches.
#pragma once

#include <jni.h>
#include <jvmti.h>

#include <functional>
#include <vector>

#include "outcome.h"

// objects[i] carries tags[i]; both as the VM found them, in no useful order.
struct TaggedObjects {
    std::vector<jobject> objects;  // local references
    std::vector<jlong> tags;
};

// The objects carrying any of count tags in env, as local references of the caller's
// frame.
Expected<TaggedObjects> objects_with_tags(jvmtiEnv* env, const jlong* tags, size_t count);

// Calls visit with every object carrying one of tags, and its tag, inside a local frame
// of its own: the objects, and the locals visit makes, are gone once it returns.
// Stops at the first failure visit returns.
Status visit_objects_with_tags(jvmtiEnv* env, JNIEnv* jni, const std::vector<jlong>& tags,
                               const std::function<Status(jobject, jlong)>& visit);
