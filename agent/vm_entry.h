// Entry points the VM calls: load at start-up, attach to a live VM, and VM init.
#pragma once

#include <jni.h>
#include <jvmti.h>

extern "C" JNIEXPORT jint JNICALL Agent_OnLoad(JavaVM* vm, char* options, void* reserved);
extern "C" JNIEXPORT jint JNICALL Agent_OnAttach(JavaVM* vm, char* options, void* reserved);

void JNICALL vmInit(jvmtiEnv* env, JNIEnv* jni, jthread thread);
