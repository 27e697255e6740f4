// histo: every class with its instance count and shallow bytes, after a collection,
// as jcmd GC.class_histogram counts them. The VM's own histogram is asked for first:
// it counts in parallel, in the same pause as its collection, where a JVMTI walk
// counts on one thread with a call per object. The walk is the fallback, and walk=1.
#include <algorithm>
#include <climits>
#include <vector>

#include "agent_state.h"
#include "class_tagging.h"
#include "jvmti_check.h"
#include "request_table.h"
#include "scratch_tags.h"
#include "stopwatch.h"

namespace {

constexpr const char* LOADED_DURING_WALK = "(loaded during the walk)";

struct Counts {
    std::vector<int64_t> instances;  // by catalog id; the last slot: classes met untagged
    std::vector<int64_t> bytes;
};

jint JNICALL count_object(jlong class_tag, jlong size, jlong*, jint, void* user_data)
{
    auto* c = static_cast<Counts*>(user_data);
    size_t slot = c->instances.size() - 1;
    if (scratch_tag::kind(class_tag) == scratch_tag::CLASS) {
        uint64_t id = scratch_tag::index(class_tag);
        if (id < slot) slot = static_cast<size_t>(id);
    }
    c->instances[slot]++;
    c->bytes[slot] += size;
    return 0;
}

struct Row {
    const std::string* type;
    int64_t instances, bytes;
};

struct Counted {
    std::vector<Row> rows;  // every class with instances, any order
    double gc_ms = -1;      // -1: the collection was inside the count's pause
    double walk_ms = 0;
    const char* by = "";
};

// The agent's own count: a forced collection, then one walk of the heap.
Status walk_and_count(RequestContext& ctx, Counted& out)
{
    Agent& agent = ctx.agent;
    Expected<jvmtiEnv*> scratch = ctx.scratch();
    if (!scratch) return scratch.failure();
    jvmtiEnv* env = *scratch;
    Stopwatch gc;
    if (Status s = jvmti_check(env, env->ForceGarbageCollection(), "ForceGarbageCollection"); !s) return s;
    out.gc_ms = gc.ms();
    report_pause("the collection of \"histo\"", out.gc_ms);
    if (Status s = tag_loaded_classes(agent.classes, ctx.jni, env); !s) return s;

    Counts counts;
    counts.instances.assign(agent.classes.size() + 1, 0);
    counts.bytes.assign(agent.classes.size() + 1, 0);
    jvmtiHeapCallbacks callbacks{};
    callbacks.heap_iteration_callback = count_object;
    Stopwatch walk;
    if (Status s = jvmti_check(env, env->IterateThroughHeap(0, nullptr, &callbacks, &counts), "IterateThroughHeap"); !s)
        return s;
    out.walk_ms = walk.ms();
    report_pause("the walk of \"histo\"", out.walk_ms);

    static const std::string loaded_during_walk = LOADED_DURING_WALK;
    for (size_t i = 0; i < counts.instances.size(); i++) {
        if (counts.instances[i] == 0) continue;
        const std::string* type = i + 1 < counts.instances.size() ? &agent.classes.info(static_cast<uint32_t>(i)).name
                                                                  : &loaded_during_walk;
        out.rows.push_back({type, counts.instances[i], counts.bytes[i]});
    }
    out.by = "agent";
    return {};
}

// The VM's count. Refused once, it is not asked again: the refusal is said on
// standard error and the agent's walk counts from then on.
bool ask_the_vm(Agent& agent, JNIEnv* jni, std::vector<ClassCount>& counts, Counted& out)
{
    if (agent.vm_histogram.refused()) return false;
    Stopwatch pause;
    if (Status asked = agent.vm_histogram.count(jni, counts); !asked) {
        progress("vorlanagt: the VM's class histogram is not to be had (%s); histo walks the heap itself\n",
                 asked.failure().message.c_str());
        return false;
    }
    out.walk_ms = pause.ms();
    report_pause("the collection and count of \"histo\"", out.walk_ms);
    for (const ClassCount& c : counts)
        if (c.instances > 0) out.rows.push_back({&c.type, c.instances, c.bytes});
    out.by = "vm";
    return true;
}

}  // namespace

Status histo_request(RequestContext& ctx, Reply& reply)
{
    RequestArgs args(ctx.request, 0, {"match", "limit", "walk"});
    const int64_t limit = args.number("limit", INT32_MAX, 0, INT32_MAX);
    const std::string match = args.text("match").value_or("");
    const bool walk = args.flag("walk", false);
    if (!args.ok()) return args.failure();

    std::vector<ClassCount> vm_counts;  // the VM's rows point into it
    Counted counted;
    if (walk || !ask_the_vm(ctx.agent, ctx.jni, vm_counts, counted))
        if (Status s = walk_and_count(ctx, counted); !s) return s;

    std::vector<Row> rows;
    int64_t total_instances = 0, total_bytes = 0;
    for (const Row& r : counted.rows) {
        total_instances += r.instances;
        total_bytes += r.bytes;
        if (match.empty() || r.type->find(match) != std::string::npos) rows.push_back(r);
    }
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        if (a.bytes != b.bytes) return a.bytes > b.bytes;
        if (a.instances != b.instances) return a.instances > b.instances;
        return *a.type < *b.type;
    });
    if (rows.size() > static_cast<size_t>(limit)) rows.resize(static_cast<size_t>(limit));

    if (counted.gc_ms >= 0) reply.status.pair_ms("gc_ms", counted.gc_ms);
    reply.status.pair_ms("walk_ms", counted.walk_ms).pair("walks", 1).pair("counted_by", counted.by)
        .pair("classes", static_cast<int64_t>(counted.rows.size())).pair("instances", total_instances)
        .pair("bytes", total_bytes);
    for (const Row& r : rows) reply.records.record("class").field(*r.type).field(r.instances).field(r.bytes);
    return {};
}
