// path H: the shortest chain of references from a GC root to H (the search is in
// path_search), each hop with the field or index that holds the next.
#include <unordered_map>
#include <vector>

#include "agent_state.h"
#include "jvmti_check.h"
#include "object_values.h"
#include "path_search.h"
#include "request_table.h"
#include "scratch_tags.h"
#include "tagged_objects.h"
#include "walk_target.h"

namespace {

// What the reply says of each object of the chain: the object, and how it holds the
// next one.
struct ChainStep {
    bool described = false;
    ObjectSummary object;
    Holding holds_next;
};

struct Chain {
    std::vector<uint32_t> nodes;  // from the root-held one down to H
    std::vector<ChainStep> steps;
    size_t first_thread = ThreadList::NONE;  // the root-held object's place in the thread list
};

// Describes every object of the chain, each found by its scratch tag.
Status describe_chain(RequestContext& ctx, const WalkTarget& target, const PathSearch& s, const PathOutcome& o,
                      Chain& chain)
{
    Agent& agent = ctx.agent;
    JNIEnv* jni = ctx.jni;
    chain.steps.assign(chain.nodes.size(), ChainStep{});
    std::unordered_map<jlong, size_t> position;  // by tag
    for (size_t i = 0; i < chain.nodes.size(); i++) position[s.nodes[chain.nodes[i]].tag] = i;
    auto describe = [&](jobject obj, jlong tag) -> Status {
        auto at = position.find(tag);
        if (at == position.end()) return {};
        const size_t i = at->second;
        Expected<ObjectSummary> summary = summarize(agent, jni, obj);
        if (!summary) return summary.failure();
        ChainStep& step = chain.steps[i];
        step.described = true;
        step.object = std::move(*summary);
        if (i + 1 < chain.nodes.size()) {
            const PathNode& n = s.nodes[chain.nodes[i]];
            const PathEdge& e = o.any ? n.how_any : n.how_strong;
            step.holds_next = describe_holding(agent, jni, obj, e.kind, e.index);
        }
        if (i == 0) chain.first_thread = target.threads.position_of(jni, obj);
        return {};
    };
    std::vector<jlong> searched;
    for (uint32_t id : chain.nodes) {
        const jlong tag = s.nodes[id].tag;
        const uint64_t i = scratch_tag::index(tag);
        jobject obj = nullptr;
        switch (scratch_tag::kind(tag)) {
        case scratch_tag::THREAD:
            if (i < target.threads.threads.size()) obj = jni->NewLocalRef(target.threads.threads[i]);
            break;
        case scratch_tag::CLASS: obj = jni->NewLocalRef(agent.classes.info(static_cast<uint32_t>(i)).ref); break;
        default: searched.push_back(tag); continue;
        }
        if (!obj) continue;
        Status d = describe(obj, tag);
        jni->DeleteLocalRef(obj);
        if (!d) return d;
    }
    if (Status d = visit_objects_with_tags(target.env, jni, searched, describe); !d) return d;
    for (const ChainStep& step : chain.steps)
        if (!step.described)
            return Failure{err::NOT_FOUND, "an object of the chain was freed while it was read; ask again"};
    return {};
}

}  // namespace

Status path_request(RequestContext& ctx, Reply& reply)
{
    Agent& agent = ctx.agent;
    RequestArgs args(ctx.request, 1, {"weak", "depth"});
    const bool allow_weak = args.flag("weak", false);
    const int64_t depth = args.number("depth", 32, 1, 1000);
    if (!args.ok()) return args.failure();
    Expected<WalkTarget> target = start_walk_to(ctx, args.positional());
    if (!target) return target.failure();
    jvmtiEnv* env = target->env;

    // What the VM's tag map takes per tagged object, beside the node, for the bound.
    constexpr size_t VM_TAG_BYTES = 64;
    const size_t walkmem = static_cast<size_t>(agent.settings.walkmem_mib) * 1024 * 1024;
    PathSearch s(target->threads, walkmem / (sizeof(PathNode) + VM_TAG_BYTES));
    if (Status t = tag_reference_classes(agent.classes, ctx.jni, env, s); !t) return t;
    if (Status t = jvmti_check(env, env->SetTag(target->object, scratch_tag::NODE), "SetTag"); !t) return t;
    Expected<PathOutcome> outcome = search_path(env, s, allow_weak, depth);
    if (!outcome) return outcome.failure();
    const PathOutcome& o = *outcome;
    if (s.too_large)
        return Failure{err::TOO_LARGE, "more than " + std::to_string(s.node_limit) + " objects lead to " +
                                           args.positional() + " within " + std::to_string(o.walks) +
                                           " hops; the search would take more than walkmem=" +
                                           std::to_string(agent.settings.walkmem_mib) + " MiB inside the VM"};

    if (o.found == PathNode::NONE) {
        reply.status.pair("found", "none").pair("length", 0).pair_ms("walk_ms", o.walk_ms).pair("walks", o.walks);
        reply.records.record("note").field(o.exhausted ? "no GC root reaches this object: it is garbage that the next "
                                                         "collection frees"
                                                       : "no GC root within " + std::to_string(depth) +
                                                             " references of this object (depth=N searches further)");
        return {};
    }

    Chain chain;
    chain.nodes = path_chain(s, o);
    if (Status d = describe_chain(ctx, *target, s, o, chain); !d) return d;
    bool through_referent = false;
    RecordWriter steps;
    write_root(steps, env, ctx.jni, s.roots[s.nodes[chain.nodes.front()].root], target->threads, chain.first_thread);
    for (size_t i = 0; i < chain.steps.size(); i++) {
        Holding h{"root", "", ""};
        if (i > 0) {
            h = chain.steps[i - 1].holds_next;
            const PathNode& prev = s.nodes[chain.nodes[i - 1]];
            const PathEdge& e = o.any ? prev.how_any : prev.how_strong;
            if (o.any && e.kind == JVMTI_HEAP_REFERENCE_FIELD && h.name == "referent" &&
                h.declared == "java.lang.ref.Reference")
                through_referent = true;
        }
        steps.record("step").field(h.how).field(h.name).field(h.declared);
        write_object_fields(steps, &chain.steps[i].object);
    }

    const bool weak_chain = o.any && through_referent;
    reply.status.pair("found", weak_chain ? "weak" : "strong").pair("length", static_cast<int64_t>(chain.nodes.size()))
        .pair_ms("walk_ms", o.walk_ms).pair("walks", o.walks);
    RecordWriter& notes = reply.records;
    if (weak_chain && !allow_weak)
        notes.record("note").field("no strong chain reaches this object: it is held only through the referent of a "
                                   "java.lang.ref.Reference, and can be collected");
    else if (!allow_weak)
        notes.record("note").field("chains through the referent of weak, soft, phantom and final references are not "
                                   "taken (weak=1 takes them)");
    const PathNode& top = s.nodes[chain.nodes.front()];
    const uint32_t dist = o.any ? top.dist_any : top.dist_strong;
    if (!o.exhausted && dist > static_cast<uint32_t>(o.walks))
        notes.record("note").field("no chain within " + std::to_string(o.walks) +
                                   " references exists; this longer one is not proven the shortest");
    notes.append(steps);
    return {};
}
