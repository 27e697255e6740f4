#include "vm_entry.h"

#include <cstdio>
#include <cstring>
#include <system_error>
#include <thread>

#include "agent_log.h"
#include "agent_options.h"
#include "agent_vm.h"
#include "server.h"

JavaVM* java_vm = nullptr;
jvmtiEnv* jvmti = nullptr;

namespace {

// Registered so the slot is filled, but the event is never enabled.
void JNICALL exception_event(jvmtiEnv*, JNIEnv*, jthread, jmethodID, jlocation, jobject, jmethodID, jlocation)
{
    trace("exception\n");
}

}  // namespace

void JNICALL vmInit(jvmtiEnv*, JNIEnv*, jthread)
{
    trace("vmInit\n");
    try {
        std::thread(server).detach();
    } catch (const std::system_error& e) {
        fprintf(stderr, "vorlanagt: cannot start the command server thread: %s\n", e.what());
    }
}

extern "C" JNIEXPORT jint JNICALL Agent_OnLoad(JavaVM* vm, char* options, void*)
{
    java_vm = vm;
    if (vm->GetEnv(reinterpret_cast<void**>(&jvmti), JVMTI_VERSION_1_0) < 0) return -1;
    if (options) parse_options(options, settings, stderr);

    jvmtiCapabilities caps;
    memset(&caps, 0, sizeof caps);
    caps.can_tag_objects = 1;
    caps.can_generate_exception_events = 1;
    trace("AddCapabilities \n\n");
    jvmtiError err = jvmti->AddCapabilities(&caps);
    if (err != JVMTI_ERROR_NONE) {
        trace("AddCapabilities:%d\n", err);
        trace_flush();
        return -1;
    }

    jvmtiEventCallbacks callbacks;
    memset(&callbacks, 0, sizeof callbacks);
    callbacks.VMInit = vmInit;
    callbacks.Exception = exception_event;
    jvmti->SetEventCallbacks(&callbacks, sizeof callbacks);
    jvmti->SetEventNotificationMode(JVMTI_ENABLE, JVMTI_EVENT_VM_INIT, nullptr);

    trace("Agent_OnLoad end \n\n");
    trace_flush();
    return 0;
}
