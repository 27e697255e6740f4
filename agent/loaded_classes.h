// The classes the VM has loaded, as local references in a JNI frame of their own that
// ends with this object: the thousands of them never count against the caller's
// frame, and none outlives the loop over them.
#pragma once

#include <jni.h>
#include <jvmti.h>

#include "jvmti_memory.h"
#include "outcome.h"

class LoadedClasses {
public:
    // Without jni (a thread that could not attach) no frame is made.
    LoadedClasses(jvmtiEnv* env, JNIEnv* jni);
    ~LoadedClasses();
    LoadedClasses(const LoadedClasses&) = delete;
    LoadedClasses& operator=(const LoadedClasses&) = delete;

    // JVMTI_ERROR_NONE, or why there are none.
    jvmtiError error() const { return error_; }
    Status status() const;
    jint size() const { return count_; }
    jclass operator[](jint i) const { return classes_[static_cast<size_t>(i)]; }
    const jclass* begin() const { return classes_.get(); }
    const jclass* end() const { return classes_.get() + count_; }

private:
    jvmtiEnv* env_;
    JNIEnv* jni_;
    bool framed_ = false;
    jint count_ = 0;
    JvmtiBuffer<jclass> classes_;
    jvmtiError error_ = JVMTI_ERROR_NONE;
};
