// roots: the objects the GC roots hold, each with its root kind (and thread and method
// for stack roots), from one walk that visits nothing beyond the roots.
#include <algorithm>
#include <set>
#include <tuple>
#include <vector>

#include "agent_state.h"
#include "heap_roots.h"
#include "jvmti_check.h"
#include "local_frame.h"
#include "object_values.h"
#include "records.h"
#include "request_table.h"
#include "scratch_env.h"

namespace {

constexpr const char* VERB = "roots";
constexpr int64_t DEFAULT_LIMIT = 1000;
constexpr int64_t MAX_LIMIT = 100000;

struct HeldByRoot {
    RootReport root;
    jlong held;  // the scratch tag of the object the root holds
};

struct RootWalk {
    const ThreadList* threads = nullptr;
    std::vector<HeldByRoot> found;
    jlong next = 0;
};

jint JNICALL root_held(jvmtiHeapReferenceKind kind, const jvmtiHeapReferenceInfo* info, jlong, jlong, jlong,
                       jlong* tag_ptr, jlong* referrer_tag_ptr, jint, void* user_data)
{
    if (referrer_tag_ptr) return 0;
    auto* w = static_cast<RootWalk*>(user_data);
    RootReport r = root_report(kind, info);
    if (own_root(r, *w->threads)) return 0;
    if (*tag_ptr == 0) *tag_ptr = scratch_tag::RESULT | w->next++;
    w->found.push_back({r, *tag_ptr});
    return 0;  // the roots only: nothing beyond them is visited
}

}  // namespace

std::string roots_request(RequestContext& ctx)
{
    Agent& agent = ctx.agent;
    JNIEnv* jni = ctx.jni;
    RequestArgs args(ctx.request, 0, {"offset", "limit"});
    const int64_t offset = args.number("offset", 0, 0, INT32_MAX);
    const int64_t limit = args.number("limit", DEFAULT_LIMIT, 0, MAX_LIMIT);
    if (!args.ok()) return error_body(VERB, err::USAGE, args.error());

    LocalFrame frame(jni, 64);
    ScratchEnv scratch(agent.vm);
    if (!scratch.ok()) return error_body(VERB, err::JVM, scratch.error());
    jvmtiEnv* env = scratch.get();
    std::string why;
    ThreadList threads;
    // Class objects are found through the catalog, threads through the thread list; the
    // other objects the roots hold get a tag each.
    if (!tag_threads(env, jni, threads, &why) || !tag_loaded_classes(agent.classes, jni, env, nullptr, nullptr, &why))
        return error_body(VERB, err::JVM, why);
    RootWalk walk;
    walk.threads = &threads;
    jvmtiHeapCallbacks callbacks{};
    callbacks.heap_reference_callback = root_held;
    Stopwatch watch;
    if (!jvmti_ok(env, env->FollowReferences(0, nullptr, nullptr, &callbacks, &walk), "FollowReferences", &why))
        return error_body(VERB, err::JVM, why);
    const double walk_ms = watch.ms();
    report_pause("the walk of \"roots\"", walk_ms);

    // One row per root and object; an object several roots hold has a row for each.
    std::set<std::tuple<int, jlong, jmethodID, jlong>> seen;
    std::vector<HeldByRoot> rows;
    for (const HeldByRoot& h : walk.found)
        if (seen.emplace(h.root.kind, h.root.thread_tag, h.root.method, h.held).second) rows.push_back(h);
    const size_t from = static_cast<size_t>(std::min<int64_t>(offset, static_cast<int64_t>(rows.size())));
    const size_t to = static_cast<size_t>(std::min<int64_t>(offset + limit, static_cast<int64_t>(rows.size())));

    std::vector<jlong> tags;
    for (size_t i = from; i < to; i++)
        if (scratch_tag::kind(rows[i].held) == scratch_tag::RESULT) tags.push_back(rows[i].held);
    std::sort(tags.begin(), tags.end());
    tags.erase(std::unique(tags.begin(), tags.end()), tags.end());
    std::vector<jobject> objects;
    std::vector<jlong> got;
    if (!objects_with_tags(env, tags, objects, got, &why)) return error_body(VERB, err::JVM, why);
    auto object_of = [&](jlong tag) -> jobject {
        const uint64_t i = scratch_tag::index(tag);
        switch (scratch_tag::kind(tag)) {
        case scratch_tag::THREAD: return i < threads.threads.size() ? jni->NewLocalRef(threads.threads[i]) : nullptr;
        case scratch_tag::CLASS: return jni->NewLocalRef(agent.classes.info(static_cast<uint32_t>(i)).ref);
        default:
            for (size_t k = 0; k < got.size(); k++)
                if (got[k] == tag) return jni->NewLocalRef(objects[k]);
            return nullptr;
        }
    };

    RecordWriter status, out;
    status.record("ok").field(VERB).pair("total", static_cast<int64_t>(rows.size())).pair("offset", offset)
        .pair("limit", limit).pair_ms("walk_ms", walk_ms).pair("walks", 1);
    for (size_t i = from; i < to; i++) {
        jobject held = object_of(rows[i].held);
        if (!held) continue;  // gone since the walk
        ObjectSummary s;
        bool ok = summarize(agent, jni, held, s, &why);
        if (ok) {
            write_root(out, env, jni, rows[i].root, threads, held);
            write_object_fields(out, &s);
        }
        jni->DeleteLocalRef(held);
        if (!ok) return error_body(VERB, err::JVM, why);
    }
    return ok_body(status, out);
}
