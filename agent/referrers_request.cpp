// referrers H: everything in the live heap that refers to H, with the field or index
// through which it does, and the GC roots that hold H directly.
#include <algorithm>
#include <map>
#include <vector>

#include "agent_state.h"
#include "heap_kinds.h"
#include "jvmti_check.h"
#include "object_values.h"
#include "request_table.h"
#include "scratch_tags.h"
#include "stopwatch.h"
#include "tagged_objects.h"
#include "walk_target.h"

namespace {

constexpr int64_t REFERRERS_DEFAULT_LIMIT = 100;
constexpr int64_t REFERRERS_MAX_LIMIT = 100000;

struct Edge {
    int kind;
    int index;
    bool operator<(const Edge& o) const { return kind != o.kind ? kind < o.kind : index < o.index; }
};

// Referrers are tagged by the set of references they hold to H, so that objects
// holding it the same way share one tag and the VM can hand them all back at once.
struct ReferrerWalk {
    const ThreadList* threads = nullptr;
    int64_t limit = 0;
    int64_t tagged = 0;
    int64_t total = 0;  // references from objects, counted all
    std::vector<std::vector<Edge>> ways;  // by RESULT index
    std::map<std::pair<uint64_t, Edge>, uint64_t> extended;
    std::map<std::vector<Edge>, uint64_t> by_edges;
    std::vector<Edge> from_self;
    std::vector<std::pair<uint64_t, Edge>> from_threads;  // thread position, edge
    std::vector<RootReport> roots;

    uint64_t way_of(const std::vector<Edge>& edges)
    {
        auto [it, fresh] = by_edges.emplace(edges, ways.size());
        if (fresh) ways.push_back(edges);
        return it->second;
    }
};

jint JNICALL find_referrer(jvmtiHeapReferenceKind kind, const jvmtiHeapReferenceInfo* info, jlong, jlong, jlong,
                           jlong* tag_ptr, jlong* referrer_tag_ptr, jint, void* user_data)
{
    if (*tag_ptr != scratch_tag::TARGET) return JVMTI_VISIT_OBJECTS;
    auto* w = static_cast<ReferrerWalk*>(user_data);
    if (!referrer_tag_ptr) {
        RootReport r = root_report(kind, info);
        if (!own_root(r, *w->threads)) w->roots.push_back(r);
        return JVMTI_VISIT_OBJECTS;
    }
    w->total++;
    Edge edge{kind, referrer_index_of(kind, info)};
    jlong& rt = *referrer_tag_ptr;
    if (rt == scratch_tag::TARGET) {
        w->from_self.push_back(edge);
    } else if (scratch_tag::kind(rt) == scratch_tag::THREAD) {
        w->from_threads.emplace_back(scratch_tag::index(rt), edge);
    } else if (rt == 0) {
        if (w->tagged < w->limit) {
            rt = scratch_tag::RESULT | static_cast<jlong>(w->way_of({edge}));
            w->tagged++;
        }
    } else if (scratch_tag::kind(rt) == scratch_tag::RESULT) {
        uint64_t way = scratch_tag::index(rt);
        auto key = std::make_pair(way, edge);
        auto it = w->extended.find(key);
        if (it == w->extended.end()) {
            std::vector<Edge> edges = w->ways[way];
            edges.push_back(edge);
            it = w->extended.emplace(key, w->way_of(edges)).first;
        }
        rt = scratch_tag::RESULT | static_cast<jlong>(it->second);
    }
    return JVMTI_VISIT_OBJECTS;
}

struct Row {
    Holding holding;
    ObjectSummary holder;
};

}  // namespace

Status referrers_request(RequestContext& ctx, Reply& reply)
{
    Agent& agent = ctx.agent;
    JNIEnv* jni = ctx.jni;
    RequestArgs args(ctx.request, 1, {"limit"});
    ReferrerWalk walk;
    walk.limit = args.number("limit", REFERRERS_DEFAULT_LIMIT, 0, REFERRERS_MAX_LIMIT);
    if (!args.ok()) return args.failure();
    Expected<WalkTarget> target = start_walk_to(ctx, args.positional());
    if (!target) return target.failure();
    jvmtiEnv* env = target->env;
    const ThreadList& threads = target->threads;
    walk.threads = &threads;
    if (Status s = jvmti_check(env, env->SetTag(target->object, scratch_tag::TARGET), "SetTag"); !s) return s;

    jvmtiHeapCallbacks callbacks{};
    callbacks.heap_reference_callback = find_referrer;
    Stopwatch watch;
    // Only H and the threads carry tags: the VM calls back for references to them alone.
    if (Status s = jvmti_check(env, env->FollowReferences(JVMTI_HEAP_FILTER_UNTAGGED, nullptr, nullptr, &callbacks, &walk),
                               "FollowReferences");
        !s)
        return s;
    const double walk_ms = watch.ms();
    report_pause("the walk of \"referrers\"", walk_ms);

    std::vector<Row> rows;
    auto add = [&](jobject holder, const Edge& e) -> Status {
        Row r;
        r.holding = describe_holding(agent, jni, holder, e.kind, e.index);
        Expected<ObjectSummary> s = summarize(agent, jni, holder);
        if (!s) return s.failure();
        r.holder = std::move(*s);
        rows.push_back(std::move(r));
        return {};
    };
    std::vector<jlong> tags;
    for (size_t i = 0; i < walk.ways.size(); i++) tags.push_back(scratch_tag::RESULT | static_cast<jlong>(i));
    Status listed = visit_objects_with_tags(env, jni, tags, [&](jobject holder, jlong tag) {
        for (const Edge& e : walk.ways[scratch_tag::index(tag)])
            if (Status s = add(holder, e); !s) return s;
        return Status();
    });
    if (!listed) return listed;
    for (const Edge& e : walk.from_self)
        if (Status s = add(target->object, e); !s) return s;
    for (const auto& [t, e] : walk.from_threads)
        if (t < threads.threads.size())
            if (Status s = add(threads.threads[t], e); !s) return s;
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.holder.handle < b.holder.handle; });

    reply.status.pair("total", walk.total).pair_ms("walk_ms", walk_ms).pair("walks", 1);
    const size_t held_thread = threads.position_of(jni, target->object);
    for (const Row& r : rows) {
        reply.records.record("referrer").field(r.holding.how).field(r.holding.name).field(r.holding.declared);
        write_object_fields(reply.records, &r.holder);
    }
    for (const RootReport& root : walk.roots) write_root(reply.records, env, jni, root, threads, held_thread);
    return {};
}
