// Where the walks towards one object begin (referrers, path): the object the request
// names, the request's scratch environment, and the live threads tagged in it.
#pragma once

#include <jni.h>
#include <jvmti.h>

#include <string>

#include "heap_roots.h"
#include "outcome.h"

struct RequestContext;

struct WalkTarget {
    jobject object = nullptr;  // a local reference
    jvmtiEnv* env = nullptr;   // the request's scratch environment
    ThreadList threads;
};

// Fails when the handle text names no live object, or the VM refuses the environment
// or the threads. The object itself is left for the caller to tag.
Expected<WalkTarget> start_walk_to(RequestContext& ctx, const std::string& handle_text);
