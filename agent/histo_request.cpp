// histo: every class with its instance count and shallow bytes, after a collection,
// as jcmd GC.class_histogram counts them.
#include <algorithm>
#include <climits>
#include <vector>

#include "agent_state.h"
#include "jvmti_check.h"
#include "local_frame.h"
#include "records.h"
#include "request_table.h"
#include "scratch_env.h"

namespace {

constexpr const char* VERB = "histo";
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

}  // namespace

std::string histo_request(RequestContext& ctx)
{
    Agent& agent = ctx.agent;
    JNIEnv* jni = ctx.jni;
    RequestArgs args(ctx.request, 0, {"match", "limit"});
    const int64_t limit = args.number("limit", INT32_MAX, 0, INT32_MAX);
    const std::string match = args.text("match").value_or("");
    if (!args.ok()) return error_body(VERB, err::USAGE, args.error());

    LocalFrame frame(jni, 64);
    ScratchEnv scratch(agent.vm);
    if (!scratch.ok()) return error_body(VERB, err::JVM, scratch.error());
    std::string why;

    Stopwatch gc;
    if (!jvmti_ok(scratch.get(), scratch.get()->ForceGarbageCollection(), "ForceGarbageCollection", &why))
        return error_body(VERB, err::JVM, why);
    const double gc_ms = gc.ms();
    report_pause("the collection of \"histo\"", gc_ms);
    if (!tag_loaded_classes(agent.classes, jni, scratch.get(), nullptr, nullptr, &why))
        return error_body(VERB, err::JVM, why);

    Counts counts;
    counts.instances.assign(agent.classes.size() + 1, 0);
    counts.bytes.assign(agent.classes.size() + 1, 0);
    jvmtiHeapCallbacks callbacks{};
    callbacks.heap_iteration_callback = count_object;
    Stopwatch walk;
    if (!jvmti_ok(scratch.get(), scratch.get()->IterateThroughHeap(0, nullptr, &callbacks, &counts),
                  "IterateThroughHeap", &why))
        return error_body(VERB, err::JVM, why);
    const double walk_ms = walk.ms();
    report_pause("the walk of \"histo\"", walk_ms);

    struct Row {
        const std::string* type;
        int64_t instances, bytes;
    };
    static const std::string loaded_during_walk = LOADED_DURING_WALK;
    std::vector<Row> rows;
    int64_t total_instances = 0, total_bytes = 0;
    for (size_t i = 0; i < counts.instances.size(); i++) {
        if (counts.instances[i] == 0) continue;
        total_instances += counts.instances[i];
        total_bytes += counts.bytes[i];
        const std::string* type = i + 1 < counts.instances.size() ? &agent.classes.info(static_cast<uint32_t>(i)).name
                                                                  : &loaded_during_walk;
        if (match.empty() || type->find(match) != std::string::npos)
            rows.push_back({type, counts.instances[i], counts.bytes[i]});
    }
    const size_t classes = static_cast<size_t>(std::count_if(counts.instances.begin(), counts.instances.end(),
                                                             [](int64_t n) { return n > 0; }));
    std::sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
        if (a.bytes != b.bytes) return a.bytes > b.bytes;
        if (a.instances != b.instances) return a.instances > b.instances;
        return *a.type < *b.type;
    });
    if (rows.size() > static_cast<size_t>(limit)) rows.resize(static_cast<size_t>(limit));

    RecordWriter status, out;
    status.record("ok").field(VERB).pair_ms("gc_ms", gc_ms).pair_ms("walk_ms", walk_ms).pair("walks", 1)
        .pair("classes", static_cast<int64_t>(classes)).pair("instances", total_instances).pair("bytes", total_bytes);
    for (const Row& r : rows) out.record("class").field(*r.type).field(r.instances).field(r.bytes);
    return ok_body(status, out);
}
