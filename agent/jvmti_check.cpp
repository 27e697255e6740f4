#include "jvmti_check.h"

#include "agent_log.h"
#include "jvmti_memory.h"
#include "records.h"

std::string jvmti_error_name(jvmtiEnv* env, jvmtiError err)
{
    std::string text = "JVMTI error";
    if (env) {
        JvmtiBuffer<char> name(env);
        if (env->GetErrorName(err, name.out()) == JVMTI_ERROR_NONE && name) text = name.get();
    }
    return text + " (" + std::to_string(static_cast<int>(err)) + ")";
}

Status jvmti_check(jvmtiEnv* env, jvmtiError err, const char* call)
{
    if (err == JVMTI_ERROR_NONE) return {};
    return Failure{err::JVM, std::string(call) + " failed: " + jvmti_error_name(env, err)};
}

bool jvmti_ok_or_report(jvmtiEnv* env, jvmtiError err, const char* call)
{
    if (err == JVMTI_ERROR_NONE) return true;
    progress("vorlanagt: %s failed: %s\n", call, jvmti_error_name(env, err).c_str());
    return false;
}
