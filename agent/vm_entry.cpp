#include "vm_entry.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <system_error>
#include <thread>

#include "agent_log.h"
#include "agent_options.h"
#include "agent_state.h"
#include "direct_walk.h"
#include "jvmti_check.h"
#include "server.h"

namespace {

// The VM calls back without user data, so the one agent lives here and is handed on.
Agent& the_agent()
{
    static Agent agent(settings);
    return agent;
}

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
        std::thread(server, std::ref(the_agent())).detach();
    } catch (const std::system_error& e) {
        fprintf(stderr, "vorlanagt: cannot start the command server thread: %s\n", e.what());
    }
}

// In a running VM the listener is opened before the load returns, so the load itself
// fails when the port cannot be had: the attaching tool sees the cause (errno) as the
// load's return code.
jint start_attached_server(Agent& agent)
{
    trace("server\n");
    SocketFd listener = open_listener(agent);
    if (!listener) return errno > 0 ? errno : JNI_ERR;
    try {
        std::thread(serve_on, std::ref(agent), std::move(listener)).detach();
    } catch (const std::system_error& e) {
        fprintf(stderr, "vorlanagt: cannot start the command server thread: %s\n", e.what());
        return JNI_ERR;
    }
    return JNI_OK;
}

enum class Phase { OnLoad, Live };

jint install(JavaVM* vm, const char* options, Phase phase)
{
    Agent& agent = the_agent();
    if (installed.exchange(true)) {
        // A load whose server could not listen (its port was taken) leaves the agent
        // without one: a later load into the running VM may start it on its own port.
        if (phase == Phase::Live && !agent.serving && agent.jvmti) {
            if (options) parse_options(options, settings, stderr);
            return start_attached_server(agent);
        }
        fprintf(stderr, "vorlanagt: already loaded in this VM (port %d); this load is refused\n",
                static_cast<uint16_t>(settings.port));
        return JNI_ERR;
    }
    agent.vm = vm;
    if (vm->GetEnv(reinterpret_cast<void**>(&agent.jvmti), JVMTI_VERSION_1_0) < 0) {
        installed = false;
        return JNI_ERR;
    }
    jvmtiEnv* jvmti = agent.jvmti;
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

    agent.direct_walk = choose_direct_walk(jvmti);
    // The classic commands work without it; the framed requests say why they cannot.
    if (Status opened = agent.classes.open(vm); !opened)
        fprintf(stderr, "vorlanagt: %s; only the classic commands are served\n", opened.failure().message.c_str());

    jvmtiEventCallbacks callbacks;
    memset(&callbacks, 0, sizeof callbacks);
    callbacks.VMInit = vmInit;
    callbacks.Exception = exception_event;
    jvmti_ok_or_report(jvmti, jvmti->SetEventCallbacks(&callbacks, sizeof callbacks), "SetEventCallbacks");
    if (phase == Phase::OnLoad) {
        jvmti_ok_or_report(jvmti, jvmti->SetEventNotificationMode(JVMTI_ENABLE, JVMTI_EVENT_VM_INIT, nullptr),
                           "SetEventNotificationMode");
        trace("Agent_OnLoad end \n\n");
    } else {
        trace("Agent_OnAttach end \n\n");
        trace_flush();
        return start_attached_server(agent);  // the VM is live: no init event will come
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
