#include "process_exit.h"

#include <cstdio>
#include <cstdlib>

#include "agent_state.h"

void end_process(Agent& agent)
{
    fflush(stdout);
    fflush(stderr);
    JNIEnv* jni = nullptr;
    if (agent.vm && agent.vm->AttachCurrentThread(reinterpret_cast<void**>(&jni), nullptr) == JNI_OK) {
        // System.exit runs the program's shutdown hooks and removes the VM's temporary
        // files; a plain exit() from this thread would skip both.
        jclass system = jni->FindClass("java/lang/System");
        jmethodID exit_method = system ? jni->GetStaticMethodID(system, "exit", "(I)V") : nullptr;
        if (exit_method) jni->CallStaticVoidMethod(system, exit_method, 0);
        jni->ExceptionClear();  // System.exit refused (a security manager, say)
    }
    exit(0);
}
