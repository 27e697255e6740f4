// The VM handles the baseline agent keeps from load time.
#pragma once

#include <jni.h>
#include <jvmti.h>

extern JavaVM* baseline_vm;
extern jvmtiEnv* baseline_jvmti;
