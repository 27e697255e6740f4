#include "sweep.h"

#include <malloc.h>

#include <cstdio>

#include "agent_state.h"
#include "jvmti_check.h"
#include "object_lookup.h"
#include "stopwatch.h"
#include "tagging_env.h"

bool sweep_due(const Agent& agent)
{
    return agent.descriptors.live_objects() > 2 * agent.snapshot.kept_at_sweep + 4096;
}

bool sweep_descriptors(Agent& agent, JNIEnv* jni, SweepCounts& counts)
{
    if (!jni) return false;
    Stopwatch watch;
    Expected<TaggingEnv> made = TaggingEnv::open(agent.vm, "the sweep");
    if (!made) {
        fprintf(stderr, "vorlanagt: %s; handles are kept\n", made.failure().message.c_str());
        return false;
    }
    jvmtiEnv* fresh = made->get();
    Snapshot& s = agent.snapshot;
    DescriptorRegistry& reg = agent.descriptors;

    // One report for all: a SetTag that fails fails alike for every object.
    bool tag_failed = false;
    auto tag = [&](jobject obj, uint32_t handle) {
        jvmtiError err = fresh->SetTag(obj, make_tag(handle));
        if (err != JVMTI_ERROR_NONE && !tag_failed) tag_failed = !jvmti_ok_or_report(fresh, err, "SetTag");
        jni->DeleteLocalRef(obj);
    };
    // The current class table, as prepareSnapshot tagged it.
    for (size_t i = 0; i < s.class_refs.size(); i++) {
        jobject cls = s.class_refs[i] ? jni->NewLocalRef(s.class_refs[i]) : nullptr;
        const ObjectDetails* d = reg.class_at(i);
        if (cls && d) tag(cls, d->handle);
        else if (cls) jni->DeleteLocalRef(cls);
    }
    // Objects named since the latest "p" (so far: its roots) keep their handles; they
    // are found through their weak references, while the old environment still holds
    // their tags. A dead one stays while the root list names it; the next sweep frees it.
    reg.free_objects_if([&](ObjectDetails* d) {
        if (d->listed_gen < s.generation && !root_list_contains(s.roots, d)) {
            counts.forgotten++;
            forget_object(jni, d);
            return true;
        }
        if (jobject obj = lookup_object(agent, jni, d, false)) tag(obj, d->handle);
        else counts.dead++;
        return false;
    });
    jvmtiEnv* old = agent.jvmti;
    agent.jvmti = made->release();
    jvmti_ok_or_report(old, old->DisposeEnvironment(), "DisposeEnvironment");
    counts.kept = reg.live_objects();
    s.kept_at_sweep = counts.kept;
    release_idle_node_slabs();
    malloc_trim(0);  // the freed chunks and list nodes back to the system
    counts.ms = watch.ms();
    return true;
}
