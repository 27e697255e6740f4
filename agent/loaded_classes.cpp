#include "loaded_classes.h"

#include "jvmti_check.h"

LoadedClasses::LoadedClasses(jvmtiEnv* env, JNIEnv* jni) : env_(env), jni_(jni), classes_(env)
{
    if (jni_) {
        framed_ = jni_->PushLocalFrame(16) == JNI_OK;
        if (!framed_) jni_->ExceptionClear();
    }
    error_ = env_->GetLoadedClasses(&count_, classes_.out());
    if (error_ != JVMTI_ERROR_NONE) count_ = 0;
    // Declared, or checked JNI warns that the frame's capacity is exceeded.
    if (jni_ && count_ > 0 && jni_->EnsureLocalCapacity(count_ + 16) != JNI_OK) jni_->ExceptionClear();
}

LoadedClasses::~LoadedClasses()
{
    if (framed_) {
        jni_->PopLocalFrame(nullptr);
    } else if (jni_) {
        for (jclass c : *this) jni_->DeleteLocalRef(c);
    }
}

Status LoadedClasses::status() const { return jvmti_check(env_, error_, "GetLoadedClasses"); }
