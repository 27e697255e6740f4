// The VM's own class histogram, the one jcmd GC.class_histogram prints: a full
// collection, then every object counted by the VM's workers in the same pause. It is
// asked of the JDK's diagnostic command bean, through the native entry that bean's
// operations end in, so that the count sees no object made for asking: the bean and
// the command text are made once and kept.
#pragma once

#include <jni.h>

#include <string>
#include <vector>

#include "class_histogram_text.h"
#include "outcome.h"

class VmHistogram {
public:
    // On the calling (attached) thread. Fails where the JDK has no such bean (no
    // jdk.management, another JDK's internals) or the bean fails; then it is not asked
    // again.
    Status count(JNIEnv* jni, std::vector<ClassCount>& rows);
    bool refused() const { return refused_; }

private:
    Status ask(JNIEnv* jni, std::vector<ClassCount>& rows);
    Status prepare(JNIEnv* jni);

    // Global references, kept for the life of the VM.
    jobject bean_ = nullptr;
    jstring command_ = nullptr;
    jmethodID execute_ = nullptr;
    bool refused_ = false;
};
