// Between handles and objects for the framed requests: the classic and the framed
// views name the same objects with the same handles.
#pragma once

#include <jni.h>

#include <cstdint>
#include <string>

#include "outcome.h"

struct Agent;

// The object a handle names, as a local reference; nullptr when the handle names no
// live object.
jobject object_for(Agent& agent, JNIEnv* jni, uint32_t handle);

// The handle of obj, giving it a descriptor (and a tag) when it has none; fails when
// the descriptor space is used up or the VM refuses the tag.
Expected<uint32_t> handle_for(Agent& agent, JNIEnv* jni, jobject obj);

// The object a framed request names by its handle argument, as a local reference;
// fails when the text is no handle, or names no live object.
Expected<jobject> requested_object(Agent& agent, JNIEnv* jni, const std::string& handle_text);

// "%x" of a handle, as the listings print it.
std::string handle_text(uint32_t handle);
