// A JNI local frame for the length of a scope: every local reference made inside is
// released when it ends, however the scope is left.
#pragma once

#include <jni.h>

class LocalFrame {
public:
    LocalFrame(JNIEnv* jni, jint capacity) : jni_(jni)
    {
        pushed_ = jni_->PushLocalFrame(capacity) == JNI_OK;
        if (!pushed_) jni_->ExceptionClear();
    }
    ~LocalFrame()
    {
        if (pushed_) jni_->PopLocalFrame(nullptr);
    }
    LocalFrame(const LocalFrame&) = delete;
    LocalFrame& operator=(const LocalFrame&) = delete;
    bool ok() const { return pushed_; }

private:
    JNIEnv* jni_;
    bool pushed_ = false;
};
