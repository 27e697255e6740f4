// Entry points the VM calls: load, VM init, and the (never enabled) exception event.
#pragma once

#include <jni.h>
#include <jvmti.h>

extern "C" JNIEXPORT jint JNICALL Agent_OnLoad(JavaVM* vm, char* options, void* reserved);

void JNICALL vmInit(jvmtiEnv* env, JNIEnv* jni, jthread thread);
