// Bench-only agent: the VM's own cost for the agent's requests, never shipped.
// Options: "port=N" (default 12399).
#include <cstdlib>
#include <cstring>
#include <thread>

#include "baseline_server.h"
#include "baseline_vm.h"

JavaVM* baseline_vm = nullptr;
jvmtiEnv* baseline_jvmti = nullptr;

namespace {

int baseline_port = 12399;

void JNICALL on_vm_init(jvmtiEnv*, JNIEnv*, jthread)
{
    std::thread(run_baseline_server, baseline_port).detach();
}

}  // namespace

extern "C" JNIEXPORT jint JNICALL Agent_OnLoad(JavaVM* vm, char* options, void*)
{
    baseline_vm = vm;
    if (options && strncmp(options, "port=", 5) == 0) baseline_port = atoi(options + 5);
    if (vm->GetEnv(reinterpret_cast<void**>(&baseline_jvmti), JVMTI_VERSION_1_0) != JNI_OK) return -1;

    jvmtiCapabilities caps;
    memset(&caps, 0, sizeof caps);
    caps.can_tag_objects = 1;
    if (baseline_jvmti->AddCapabilities(&caps) != JVMTI_ERROR_NONE) return -1;

    jvmtiEventCallbacks callbacks;
    memset(&callbacks, 0, sizeof callbacks);
    callbacks.VMInit = on_vm_init;
    baseline_jvmti->SetEventCallbacks(&callbacks, sizeof callbacks);
    baseline_jvmti->SetEventNotificationMode(JVMTI_ENABLE, JVMTI_EVENT_VM_INIT, nullptr);
    return 0;
}
