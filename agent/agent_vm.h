// The VM and JVMTI environment the agent was given at load time.
#pragma once

#include <jni.h>
#include <jvmti.h>

extern JavaVM* java_vm;
extern jvmtiEnv* jvmti;
