#include "jvmti_check.h"

#include "agent_log.h"

std::string jvmti_error_name(jvmtiEnv* env, jvmtiError err)
{
    char* name = nullptr;
    std::string text;
    if (env && env->GetErrorName(err, &name) == JVMTI_ERROR_NONE && name) {
        text = name;
        env->Deallocate(reinterpret_cast<unsigned char*>(name));
    } else {
        text = "JVMTI error";
    }
    return text + " (" + std::to_string(static_cast<int>(err)) + ")";
}

bool jvmti_ok(jvmtiEnv* env, jvmtiError err, const char* call, std::string* why)
{
    if (err == JVMTI_ERROR_NONE) return true;
    if (why) *why = std::string(call) + " failed: " + jvmti_error_name(env, err);
    return false;
}

bool jvmti_ok_or_report(jvmtiEnv* env, jvmtiError err, const char* call)
{
    if (err == JVMTI_ERROR_NONE) return true;
    progress("vorlanagt: %s failed: %s\n", call, jvmti_error_name(env, err).c_str());
    return false;
}

bool jni_ok(JNIEnv* jni, const char* call, std::string* why)
{
    if (!jni->ExceptionCheck()) return true;
    jni->ExceptionClear();
    if (why) *why = std::string(call) + " raised a Java exception";
    return false;
}
