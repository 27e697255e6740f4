// The server thread attached to the VM for the length of one request, so that it never
// holds the VM back while it waits for the next.
#pragma once

#include <jni.h>

#include "agent_log.h"

class AttachedThread {
public:
    explicit AttachedThread(JavaVM* vm) : vm_(vm)
    {
        jint jerr = vm_->AttachCurrentThread(reinterpret_cast<void**>(&jni_), nullptr);
        trace("jerr=%d\n", jerr);
        if (jerr != JNI_OK) jni_ = nullptr;
    }
    ~AttachedThread()
    {
        if (jni_) vm_->DetachCurrentThread();
    }
    AttachedThread(const AttachedThread&) = delete;
    AttachedThread& operator=(const AttachedThread&) = delete;

    // nullptr when the attach failed.
    JNIEnv* jni() const { return jni_; }

private:
    JavaVM* vm_;
    JNIEnv* jni_ = nullptr;
};
