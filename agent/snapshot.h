// The heap snapshot: class table, tags and the walks that produce listing text.
// Everything here runs on the command server thread while it is attached to the VM.
#pragma once

#include <jni.h>
#include <jvmti.h>

#include <string>

#include "listing.h"

// Rebuilds the class table after a forced collection and tags every loaded class.
void prepareSnapshot(jvmtiEnv* env, JNIEnv* jni);
// Untags the classes of the current table and frees it.
void releaseSnapshot(jvmtiEnv* env, JNIEnv* jni);
// Runs the root walk (handle 0) or the one-level reference walk from the object with
// that handle, and leaves its listing as the reply.
void buildListing(jvmtiEnv* env, JNIEnv* jni, uint32_t handle);
// The last listing, to be sent.
const Listing& reply_listing();
// Gives the listing's memory back once it has been sent.
void release_reply();

// The object tagged with tag, as a local reference, or nullptr.
jobject getObject(jvmtiEnv* env, jlong tag);

// Walk callbacks with the JVMTI 1.0 heap-callback signatures; the walks themselves run
// on FollowReferences and translate its reports into these.
jvmtiIterationControl JNICALL heap_root_callback(jvmtiHeapRootKind root_kind, jlong class_tag, jlong size,
                                                 jlong* tag_ptr, void* user_data);
jvmtiIterationControl JNICALL object_ref_callback(jvmtiObjectReferenceKind reference_kind, jlong class_tag,
                                                  jlong size, jlong* tag_ptr, jlong referrer_tag,
                                                  jint referrer_index, void* user_data);
