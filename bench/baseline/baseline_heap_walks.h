// The JVM's own cost for the framed requests: the walks "histo", "instances",
// "referrers" and "path" make, with callbacks that only count. Each leaves no tag
// behind except the target's, so a later filtered walk reports only what it asks for.
#pragma once

#include <jni.h>
#include <jvmti.h>

#include <string>
#include <vector>

// ForceGarbageCollection, a tag per loaded class, IterateThroughHeap counting instances
// and bytes per class, then the classes untagged. The reply's first line holds the
// timings and totals; one "SIGNATURE INSTANCES BYTES" line follows per class met.
std::string heap_histogram(jvmtiEnv* env);

// Finds the first JNI-global root of class root_signature, follows steps from it (a
// field name, or "[i]" for an array element) and tags the object reached as the target
// of the walks below. The reply names its signature and size.
std::string select_target(jvmtiEnv* env, JNIEnv* jni, const std::string& root_signature,
                          const std::vector<std::string>& steps);

// FollowReferences from the roots with only the target tagged and untagged objects
// filtered out: the walk of "referrers", and of every later hop of "path".
std::string walk_to_target(jvmtiEnv* env);

// As the search of "path" tags them: a first walk from the roots reporting every
// reference that tags every object a root holds, then the filtered walk of
// walk_to_target with those tags in place; the root tags are taken off afterwards.
std::string walk_to_target_roots_tagged(jvmtiEnv* env);

// FollowReferences from the roots, every reference reported and counted: the first
// walk of "path".
std::string walk_everything(jvmtiEnv* env);

// Takes every tag this environment has set off its object, as the agent's sweep does:
// IterateThroughHeap over tagged objects only, each tag set to 0.
std::string untag_everything(jvmtiEnv* env);

// The classes of this signature tagged (timed with the class scan), a forced
// collection, then IterateThroughHeap over their instances only: "instances".
std::string count_instances(jvmtiEnv* env, JNIEnv* jni, const std::string& signature);
