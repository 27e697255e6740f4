// roots: the objects the GC roots hold, each with its root kind (and thread and method
// for stack roots), from one walk that visits nothing beyond the roots.
#include <algorithm>
#include <set>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "agent_state.h"
#include "class_tagging.h"
#include "heap_roots.h"
#include "jvmti_check.h"
#include "object_values.h"
#include "request_table.h"
#include "scratch_tags.h"
#include "stopwatch.h"
#include "tagged_objects.h"

namespace {

constexpr int64_t ROOTS_DEFAULT_LIMIT = 1000;
constexpr int64_t ROOTS_MAX_LIMIT = 100000;

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

Status roots_request(RequestContext& ctx, Reply& reply)
{
    Agent& agent = ctx.agent;
    JNIEnv* jni = ctx.jni;
    RequestArgs args(ctx.request, 0, {"offset", "limit"});
    const int64_t offset = args.number("offset", 0, 0, INT32_MAX);
    const int64_t limit = args.number("limit", ROOTS_DEFAULT_LIMIT, 0, ROOTS_MAX_LIMIT);
    if (!args.ok()) return args.failure();

    Expected<jvmtiEnv*> scratch = ctx.scratch();
    if (!scratch) return scratch.failure();
    jvmtiEnv* env = *scratch;
    ThreadList threads;
    // Class objects are found through the catalog, threads through the thread list; the
    // other objects the roots hold get a tag each.
    if (Status s = tag_threads(env, jni, threads); !s) return s;
    if (Status s = tag_loaded_classes(agent.classes, jni, env); !s) return s;
    RootWalk walk;
    walk.threads = &threads;
    jvmtiHeapCallbacks callbacks{};
    callbacks.heap_reference_callback = root_held;
    Stopwatch watch;
    if (Status s = jvmti_check(env, env->FollowReferences(0, nullptr, nullptr, &callbacks, &walk), "FollowReferences"); !s)
        return s;
    const double walk_ms = watch.ms();
    report_pause("the walk of \"roots\"", walk_ms);

    // One row per root and object; an object several roots hold has a row for each.
    std::set<std::tuple<int, jlong, jmethodID, jlong>> seen;
    std::vector<HeldByRoot> rows;
    for (const HeldByRoot& h : walk.found)
        if (seen.emplace(h.root.kind, h.root.thread_tag, h.root.method, h.held).second) rows.push_back(h);
    const size_t from = static_cast<size_t>(std::min<int64_t>(offset, static_cast<int64_t>(rows.size())));
    const size_t to = static_cast<size_t>(std::min<int64_t>(offset + limit, static_cast<int64_t>(rows.size())));

    // The page's objects, described once each, however many roots hold them.
    std::unordered_map<jlong, ObjectSummary> described;
    auto describe = [&](jobject obj, jlong tag) -> Status {
        Expected<ObjectSummary> s = summarize(agent, jni, obj);
        if (!s) return s.failure();
        described.emplace(tag, std::move(*s));
        return {};
    };
    std::vector<jlong> tags;
    for (size_t i = from; i < to; i++) {
        const jlong held = rows[i].held;
        if (scratch_tag::kind(held) == scratch_tag::RESULT) {
            tags.push_back(held);
            continue;
        }
        if (described.count(held)) continue;
        const uint64_t at = scratch_tag::index(held);
        jobject obj = nullptr;
        if (scratch_tag::kind(held) == scratch_tag::THREAD && at < threads.threads.size())
            obj = jni->NewLocalRef(threads.threads[at]);
        else if (scratch_tag::kind(held) == scratch_tag::CLASS)
            obj = jni->NewLocalRef(agent.classes.info(static_cast<uint32_t>(at)).ref);
        if (!obj) continue;  // gone since the walk
        Status s = describe(obj, held);
        jni->DeleteLocalRef(obj);
        if (!s) return s;
    }
    std::sort(tags.begin(), tags.end());
    tags.erase(std::unique(tags.begin(), tags.end()), tags.end());
    if (Status s = visit_objects_with_tags(env, jni, tags, describe); !s) return s;

    reply.status.pair("total", static_cast<int64_t>(rows.size())).pair("offset", offset).pair("limit", limit)
        .pair_ms("walk_ms", walk_ms).pair("walks", 1);
    for (size_t i = from; i < to; i++) {
        auto held = described.find(rows[i].held);
        if (held == described.end()) continue;  // gone since the walk
        const size_t held_thread = scratch_tag::kind(rows[i].held) == scratch_tag::THREAD
                                       ? static_cast<size_t>(scratch_tag::index(rows[i].held))
                                       : ThreadList::NONE;
        write_root(reply.records, env, jni, rows[i].root, threads, held_thread);
        write_object_fields(reply.records, &held->second);
    }
    return {};
}
