// Entry points the VM calls: load at start-up, attach to a live VM, VM init, and the
// (never enabled) exception event.
#pragma once

#include <jni.h>
#include <jvmti.h>

extern "C" JNIEXPORT jint JNICALL Agent_OnLoad(JavaVM* vm, char* options, void* reserved);
extern "C" JNIEXPORT jint JNICALL Agent_OnAttach(JavaVM* vm, char* options, void* reserved);

void JNICALL vmInit(jvmtiEnv* env, JNIEnv* jni, jthread thread);
