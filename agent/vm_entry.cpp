#include "vm_entry.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <thread>

#include "agent_log.h"
#include "agent_options.h"
#include "agent_vm.h"
#include "direct_walk.h"
#include "server.h"

JavaVM* java_vm = nullptr;
jvmtiEnv* jvmti = nullptr;

namespace {

// One agent per VM: a second load would reparse the settings under the running server.
std::atomic<bool> installed{false};

// Registered so the slot is filled, but the event is never enabled.
void JNICALL exception_event(jvmtiEnv*, JNIEnv*, jthread, jmethodID, jlocation, jobject, jmethodID, jlocation)
{
    trace("exception\n");
}

void start_server()
{
    try {
        std::thread(server).detach();
    } catch (const std::system_error& e) {
        fprintf(stderr, "vorlanagt: cannot start the command server thread: %s\n", e.what());
    }
}

enum class Phase { OnLoad, Live };

jint install(JavaVM* vm, const char* options, Phase phase)
{
    if (installed.exchange(true)) {
        fprintf(stderr, "vorlanagt: already loaded in this VM (port %d); this load is refused\n",
                static_cast<uint16_t>(settings.port));
        return JNI_ERR;
    }
    java_vm = vm;
    if (vm->GetEnv(reinterpret_cast<void**>(&jvmti), JVMTI_VERSION_1_0) < 0) {
        installed = false;
        return JNI_ERR;
    }
    if (options) parse_options(options, settings, stderr);

    jvmtiCapabilities caps;
    memset(&caps, 0, sizeof caps);
    caps.can_tag_objects = 1;
    // Not granted in the live phase, and the exception event is never enabled anyway.
    if (phase == Phase::OnLoad) caps.can_generate_exception_events = 1;
    trace("AddCapabilities \n\n");
    jvmtiError err = jvmti->AddCapabilities(&caps);
    if (err != JVMTI_ERROR_NONE) {
        trace("AddCapabilities:%d\n", err);
        trace_flush();
        installed = false;
        return JNI_ERR;
    }

    choose_direct_walk(jvmti);

    jvmtiEventCallbacks callbacks;
    memset(&callbacks, 0, sizeof callbacks);
    callbacks.VMInit = vmInit;
    callbacks.Exception = exception_event;
    jvmti->SetEventCallbacks(&callbacks, sizeof callbacks);
    if (phase == Phase::OnLoad) {
        jvmti->SetEventNotificationMode(JVMTI_ENABLE, JVMTI_EVENT_VM_INIT, nullptr);
        trace("Agent_OnLoad end \n\n");
    } else {
        trace("Agent_OnAttach end \n\n");
        start_server();  // the VM is live: no init event will come
    }
    trace_flush();
    return JNI_OK;
}

}  // namespace

void JNICALL vmInit(jvmtiEnv*, JNIEnv*, jthread)
{
    trace("vmInit\n");
    start_server();
}

extern "C" JNIEXPORT jint JNICALL Agent_OnLoad(JavaVM* vm, char* options, void*)
{
    return install(vm, options, Phase::OnLoad);
}

extern "C" JNIEXPORT jint JNICALL Agent_OnAttach(JavaVM* vm, char* options, void*)
{
    return install(vm, options, Phase::Live);
}
