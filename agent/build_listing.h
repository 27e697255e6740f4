// The walks of the classic commands: the root walk and the one-level reference walk
// from one object, each leaving its listing as the reply to send.
#pragma once

#include <jni.h>

#include <cstdint>

struct Agent;

// Runs the root walk (handle 0) or the one-level reference walk from the object with
// that handle, and leaves its listing as the reply.
void buildListing(Agent& agent, JNIEnv* jni, uint32_t handle);
