// Checking JVMTI calls where they are made: one helper names the call and the VM's
// error, for an error record or a progress line.
#pragma once

#include <jvmti.h>

#include <string>

#include "outcome.h"

// "JVMTI_ERROR_INVALID_OBJECT (20)".
std::string jvmti_error_name(jvmtiEnv* env, jvmtiError err);

// Done for JVMTI_ERROR_NONE; otherwise a jvm failure "CALL failed: NAME (n)".
Status jvmti_check(jvmtiEnv* env, jvmtiError err, const char* call);

// For calls whose failure the agent survives: true for JVMTI_ERROR_NONE; otherwise one
// progress line on standard error (debug >= 0) names the call and the error.
bool jvmti_ok_or_report(jvmtiEnv* env, jvmtiError err, const char* call);
