#include "sweep.h"

#include <malloc.h>

#include "agent_state.h"
#include "jvmti_check.h"
#include "object_lookup.h"
#include "scratch_env.h"

namespace {

struct SweepWalk {
    Agent* agent;
    uint32_t mark;
    size_t forgotten = 0;
};

jint JNICALL sweep_object(jlong, jlong, jlong* tag_ptr, jint, void* user_data)
{
    auto* w = static_cast<SweepWalk*>(user_data);
    const uint32_t handle = handle_of(*tag_ptr);
    if (handle >= CLASS_HANDLE_BASE) return 0;  // class tables tag and untag their own
    Agent& agent = *w->agent;
    ObjectDetails* d = agent.descriptors.descriptor_of(handle);
    if (!d) {
        *tag_ptr = 0;  // a tag that names nothing any more
        return 0;
    }
    if (d->listed_gen < agent.snapshot.generation && !root_list_contains(agent.snapshot.roots, d)) {
        *tag_ptr = 0;
        w->forgotten++;
        return 0;  // d->swept stays behind: freed below
    }
    d->swept = w->mark;
    return 0;
}

}  // namespace

bool sweep_due(const Agent& agent)
{
    return agent.descriptors.live_objects() > 2 * agent.snapshot.kept_at_sweep + 4096;
}

bool sweep_descriptors(Agent& agent, JNIEnv* jni, SweepCounts& counts)
{
    Snapshot& s = agent.snapshot;
    SweepWalk walk{&agent, ++s.sweeps};
    if (walk.mark == 0) walk.mark = ++s.sweeps;
    jvmtiHeapCallbacks callbacks{};
    callbacks.heap_iteration_callback = sweep_object;
    Stopwatch watch;
    // Tagged objects only: the walk touches nothing the agent has not named.
    jvmtiError err = agent.jvmti->IterateThroughHeap(JVMTI_HEAP_FILTER_UNTAGGED, nullptr, &callbacks, &walk);
    counts.ms = watch.ms();
    if (!jvmti_ok_or_report(agent.jvmti, err, "IterateThroughHeap")) return false;
    counts.forgotten = walk.forgotten;
    std::vector<ObjectDetails*> gone;
    agent.descriptors.for_each_object([&](ObjectDetails* d) {
        if (d->swept != walk.mark) gone.push_back(d);
    });
    for (ObjectDetails* d : gone) {
        forget_object(jni, d);
        agent.descriptors.free_object_descriptor(d);
    }
    counts.dead = gone.size() - std::min(gone.size(), walk.forgotten);
    counts.kept = agent.descriptors.live_objects();
    s.kept_at_sweep = counts.kept;
    release_idle_node_slabs();
    malloc_trim(0);  // the freed chunks and list nodes back to the system
    return true;
}
