// Checking JVMTI and JNI calls where they are made: one helper names the call and the
// VM's error, for an error reply or a progress line.
#pragma once

#include <jni.h>
#include <jvmti.h>

#include <string>

// "JVMTI_ERROR_INVALID_OBJECT (20)".
std::string jvmti_error_name(jvmtiEnv* env, jvmtiError err);

// True for JVMTI_ERROR_NONE. Otherwise why (when given) becomes "CALL failed: NAME (n)".
bool jvmti_ok(jvmtiEnv* env, jvmtiError err, const char* call, std::string* why);

// For calls whose failure the agent survives: true for JVMTI_ERROR_NONE; otherwise one
// progress line on standard error (debug >= 0) names the call and the error.
bool jvmti_ok_or_report(jvmtiEnv* env, jvmtiError err, const char* call);

// True when a JNI call left no exception; otherwise clears it, and why (when given)
// says which call raised it.
bool jni_ok(JNIEnv* jni, const char* call, std::string* why);
