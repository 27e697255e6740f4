#include "instances_search.h"

#include <algorithm>
#include <vector>

#include "agent_state.h"
#include "jvmti_check.h"
#include "object_binding.h"
#include "object_values.h"
#include "request_table.h"
#include "scratch_tags.h"
#include "stopwatch.h"
#include "tagged_objects.h"
#include "text_match.h"

namespace {

// What one tag costs inside the VM, as path counts it: the bound walkmem sets.
constexpr int64_t BYTES_PER_TAG = 100;

struct Candidates {
    int64_t searched = 0;
    int64_t most = 0;
    bool too_large = false;
    std::vector<uint64_t> class_objects;  // candidates that are tagged class objects themselves
};

jint JNICALL tag_candidate(jlong class_tag, jlong, jlong* tag_ptr, jint, void* user_data)
{
    if (scratch_tag::kind(class_tag) != scratch_tag::CLASS) return 0;
    auto* c = static_cast<Candidates*>(user_data);
    if (++c->searched > c->most) {
        c->too_large = true;
        return JVMTI_VISIT_ABORT;
    }
    // A selected class object keeps the tag that selects its class's instances.
    if (scratch_tag::kind(*tag_ptr) == scratch_tag::CLASS) c->class_objects.push_back(scratch_tag::index(*tag_ptr));
    else *tag_ptr = scratch_tag::RESULT;
    return 0;
}

struct Numbering {
    int64_t offset = 0, limit = 0;
    int64_t matches = 0;
};

// Numbers the matches in heap order; those on the page are tagged RESULT.
jint JNICALL number_match(jlong, jlong, jlong* tag_ptr, jint, void* user_data)
{
    if (*tag_ptr != scratch_tag::MATCH) return 0;
    auto* n = static_cast<Numbering*>(user_data);
    const int64_t at = n->matches++;
    if (at >= n->offset && at < n->offset + n->limit) *tag_ptr = scratch_tag::RESULT;
    return 0;
}

}  // namespace

Status search_instances(RequestContext& ctx, Reply& reply, jvmtiEnv* env, const InstancesSearch& search)
{
    Agent& agent = ctx.agent;
    JNIEnv* jni = ctx.jni;
    Candidates candidates;
    candidates.most = static_cast<int64_t>(agent.settings.walkmem_mib) * 1024 * 1024 / BYTES_PER_TAG;
    jvmtiHeapCallbacks tag_all{};
    tag_all.heap_iteration_callback = tag_candidate;
    Stopwatch first;
    if (Status s = jvmti_check(env, env->IterateThroughHeap(JVMTI_HEAP_FILTER_CLASS_UNTAGGED, nullptr, &tag_all, &candidates),
                               "IterateThroughHeap");
        !s)
        return s;
    double walk_ms = first.ms();
    report_pause("the first walk of \"instances\"", walk_ms);
    if (candidates.too_large)
        return Failure{err::TOO_LARGE, "searching more than " + std::to_string(candidates.most) +
                                           " instances would take more than walkmem=" +
                                           std::to_string(agent.settings.walkmem_mib) + " MiB inside the VM"};

    // Each candidate read once: a match is tagged MATCH, the others lose their tag.
    TextMatch match(agent, jni, search.text);
    auto classify = [&](jobject o, jlong) -> Status {
        jclass cls = jni->GetObjectClass(o);
        Expected<uint32_t> id = agent.classes.id_of(jni, cls);
        jni->DeleteLocalRef(cls);
        if (!id) return id.failure();
        Expected<bool> holds = match.holds(o, *id);
        if (!holds) return holds.failure();
        return jvmti_check(env, env->SetTag(o, *holds ? scratch_tag::MATCH : 0), "SetTag");
    };
    if (Status s = visit_objects_with_tags(env, jni, {scratch_tag::RESULT}, classify); !s) return s;

    Numbering numbering;
    numbering.offset = search.offset;
    numbering.limit = search.limit;
    jvmtiHeapCallbacks number{};
    number.heap_iteration_callback = number_match;
    Stopwatch second;
    if (Status s = jvmti_check(env, env->IterateThroughHeap(JVMTI_HEAP_FILTER_UNTAGGED, nullptr, &number, &numbering),
                               "IterateThroughHeap");
        !s)
        return s;
    walk_ms += second.ms();
    report_pause("the second walk of \"instances\"", second.ms());

    std::vector<ObjectSummary> listed;
    auto list = [&](jobject o) -> Status {
        Expected<ObjectSummary> s = summarize(agent, jni, o);
        if (!s) return s.failure();
        listed.push_back(std::move(*s));
        return {};
    };
    if (Status s = visit_objects_with_tags(env, jni, {scratch_tag::RESULT}, [&](jobject o, jlong) { return list(o); }); !s)
        return s;
    // Class objects among the candidates (a search of java.lang.Class) come after the rest.
    int64_t total = numbering.matches;
    for (uint64_t id : candidates.class_objects) {
        jobject c = jni->NewLocalRef(agent.classes.info(static_cast<uint32_t>(id)).ref);
        if (!c) continue;
        jclass cls = jni->GetObjectClass(c);
        Expected<uint32_t> class_id = agent.classes.id_of(jni, cls);
        jni->DeleteLocalRef(cls);
        Expected<bool> holds = class_id ? match.holds(c, *class_id) : Expected<bool>(class_id.failure());
        Status s = holds ? Status{} : Status{holds.failure()};
        if (s && *holds && total >= search.offset && total < search.offset + search.limit) s = list(c);
        if (s && *holds) total++;
        jni->DeleteLocalRef(c);
        if (!s) return s;
    }
    std::sort(listed.begin(), listed.end(), [](const auto& a, const auto& b) { return a.handle < b.handle; });

    reply.status.pair("total", total).pair("offset", search.offset).pair("limit", search.limit)
        .pair("classes", search.classes).pair_ms("gc_ms", search.gc_ms).pair_ms("walk_ms", walk_ms).pair("walks", 2)
        .pair("searched", candidates.searched);
    for (const ObjectSummary& s : listed) {
        reply.records.record("instance");
        write_object_fields(reply.records, &s);
    }
    return {};
}
