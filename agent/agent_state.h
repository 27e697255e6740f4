// Everything the agent keeps while it runs: its settings, the VM it was given, the
// descriptors and the classic snapshot, and the class knowledge of the framed requests.
// One instance, made at load; requests and walks are handed it, never reach for it.
#pragma once

#include <jni.h>
#include <jvmti.h>

#include <atomic>

#include "agent_log.h"
#include "class_catalog.h"
#include "object_details.h"
#include "snapshot.h"
#include "vm_histogram.h"

struct Agent {
    explicit Agent(AgentSettings& s) : settings(s) {}
    Agent(const Agent&) = delete;
    Agent& operator=(const Agent&) = delete;

    AgentSettings& settings;     // set while loading, read-only afterwards
    JavaVM* vm = nullptr;
    jvmtiEnv* jvmti = nullptr;   // the environment whose tags bind descriptors
    bool direct_walk = false;    // expand plain instances from their fields (see direct_walk)
    std::atomic<bool> serving{false};  // the command server is listening
    DescriptorRegistry descriptors;
    Snapshot snapshot;
    ClassCatalog classes;
    VmHistogram vm_histogram;     // histo's first choice
};
