// path H: the shortest chain of references from a GC root to H.
//
// A full heap walk can only say, for each reference it reports, which tagged objects
// are involved; tagging every object to search forward from the roots costs seconds
// and hundreds of megabytes on a large heap. So the search runs backwards from H:
// each walk tags the objects that refer to an object already known to lead to H, with
// its distance to H. One walk is enough to find every object one hop further than the
// walks before it; objects the walk happens to visit in a good order may get further.
// After walk k every object within k hops has its true distance, so a GC root found
// at distance d <= k is the nearest one. Root-held objects are tagged in the first
// walk, so they are known the moment they are reached.
#include <algorithm>
#include <climits>
#include <unordered_map>
#include <vector>

#include "agent_state.h"
#include "heap_kinds.h"
#include "heap_roots.h"
#include "jvmti_check.h"
#include "local_frame.h"
#include "object_binding.h"
#include "object_values.h"
#include "records.h"
#include "request_table.h"
#include "scratch_env.h"

namespace {

constexpr const char* VERB = "path";
constexpr uint32_t FAR = UINT32_MAX;
constexpr uint32_t NONE = UINT32_MAX;
// What the VM's tag map takes per tagged object, for the memory bound.
constexpr size_t VM_TAG_BYTES = 64;

struct Edge {
    int kind = 0;
    int index = -1;
};

struct Node {
    jlong tag = 0;  // the tag the object carries in the scratch environment
    uint32_t dist_strong = FAR, dist_any = FAR;  // hops to H, without and with referents
    uint32_t next_strong = NONE, next_any = NONE;
    Edge how_strong, how_any;  // how this object holds its next
    uint32_t root = NONE;      // the root report that holds this object, if any
};

struct Search {
    const ThreadList* threads = nullptr;
    std::vector<Node> nodes;
    std::vector<RootReport> roots;
    std::vector<uint32_t> rooted_node;   // by ROOTED index
    std::vector<uint32_t> thread_node;   // by thread position
    std::vector<uint32_t> thread_root;
    std::unordered_map<uint64_t, uint32_t> class_node, class_root;  // by catalog id
    std::unordered_map<uint64_t, int> referent_index;  // Reference classes: the referent's field index
    size_t node_limit = 0;
    bool changed = false;
    bool too_large = false;

    uint32_t add(jlong tag, uint32_t root)
    {
        nodes.push_back(Node{});
        nodes.back().tag = tag;
        nodes.back().root = root;
        return static_cast<uint32_t>(nodes.size() - 1);
    }

    // The node of an object reported with this tag; with make, one is made for it (and
    // its tag set) when it has none.
    uint32_t node_of(jlong& tag, bool make)
    {
        const uint64_t i = scratch_tag::index(tag);
        switch (scratch_tag::kind(tag)) {
        case scratch_tag::NODE: return static_cast<uint32_t>(i);
        case scratch_tag::ROOTED:
            if (i >= rooted_node.size()) return NONE;
            if (rooted_node[i] == NONE && make) rooted_node[i] = add(tag, static_cast<uint32_t>(i));
            return rooted_node[i];
        case scratch_tag::THREAD:
            if (i >= thread_node.size()) return NONE;
            if (thread_node[i] == NONE && make) thread_node[i] = add(tag, thread_root[i]);
            return thread_node[i];
        case scratch_tag::CLASS: {
            auto it = class_node.find(i);
            if (it != class_node.end()) return it->second;
            if (!make) return NONE;
            auto r = class_root.find(i);
            return class_node[i] = add(tag, r == class_root.end() ? NONE : r->second);
        }
        case 0:
            if (!make) return NONE;
            tag = scratch_tag::NODE | static_cast<jlong>(nodes.size());
            return add(tag, NONE);
        default: return NONE;
        }
    }

    // Keeps a root report; rooted_node stays parallel to roots.
    uint32_t add_root(const RootReport& report)
    {
        roots.push_back(report);
        rooted_node.push_back(NONE);
        return static_cast<uint32_t>(roots.size() - 1);
    }

    void note_root(jlong& tag, const RootReport& report)
    {
        const uint64_t i = scratch_tag::index(tag);
        switch (scratch_tag::kind(tag)) {
        case 0:
            tag = scratch_tag::ROOTED | add_root(report);
            return;
        case scratch_tag::NODE:
            if (i < nodes.size() && nodes[i].root == NONE) nodes[i].root = add_root(report);
            return;
        case scratch_tag::THREAD:
            if (i < thread_root.size() && thread_root[i] == NONE) {
                thread_root[i] = add_root(report);
                if (thread_node[i] != NONE) nodes[thread_node[i]].root = thread_root[i];
            }
            return;
        case scratch_tag::CLASS:
            if (!class_root.count(i)) {
                class_root[i] = add_root(report);
                auto n = class_node.find(i);
                if (n != class_node.end()) nodes[n->second].root = class_root[i];
            }
            return;
        default: return;  // held by a root already
        }
    }
};

jint JNICALL search_reference(jvmtiHeapReferenceKind kind, const jvmtiHeapReferenceInfo* info, jlong,
                              jlong referrer_class_tag, jlong, jlong* tag_ptr, jlong* referrer_tag_ptr, jint,
                              void* user_data)
{
    auto* s = static_cast<Search*>(user_data);
    if (!referrer_tag_ptr) {
        RootReport r = root_report(kind, info);
        if (!own_root(r, *s->threads)) s->note_root(*tag_ptr, r);
        return JVMTI_VISIT_OBJECTS;
    }
    if (*tag_ptr == 0) return JVMTI_VISIT_OBJECTS;  // the common case: nothing known of it
    const uint32_t y = s->node_of(*tag_ptr, false);
    if (y == NONE) return JVMTI_VISIT_OBJECTS;
    Edge edge{kind, referrer_index_of(kind, info)};
    bool weak = false;
    if (kind == JVMTI_HEAP_REFERENCE_FIELD && scratch_tag::kind(referrer_class_tag) == scratch_tag::CLASS) {
        auto r = s->referent_index.find(scratch_tag::index(referrer_class_tag));
        weak = r != s->referent_index.end() && r->second == edge.index;
    }
    const uint32_t x = s->node_of(*referrer_tag_ptr, true);
    if (x == NONE || x == y) return JVMTI_VISIT_OBJECTS;
    if (s->nodes.size() > s->node_limit) {
        s->too_large = true;
        return JVMTI_VISIT_ABORT;
    }
    Node& nx = s->nodes[x];
    const Node& ny = s->nodes[y];
    if (ny.dist_any != FAR && ny.dist_any + 1 < nx.dist_any) {
        nx.dist_any = ny.dist_any + 1;
        nx.next_any = y;
        nx.how_any = edge;
        s->changed = true;
    }
    if (!weak && ny.dist_strong != FAR && ny.dist_strong + 1 < nx.dist_strong) {
        nx.dist_strong = ny.dist_strong + 1;
        nx.next_strong = y;
        nx.how_strong = edge;
        s->changed = true;
    }
    return JVMTI_VISIT_OBJECTS;
}

// The root-held node nearest to H by the strong or the any distance.
uint32_t nearest_rooted(const Search& s, bool any)
{
    uint32_t best = NONE;
    for (uint32_t i = 0; i < s.nodes.size(); i++) {
        const Node& n = s.nodes[i];
        uint32_t d = any ? n.dist_any : n.dist_strong;
        if (n.root == NONE || d == FAR) continue;
        if (best == NONE || d < (any ? s.nodes[best].dist_any : s.nodes[best].dist_strong)) best = i;
    }
    return best;
}

// Reference classes are tagged so the walk knows which field is a referent.
bool tag_reference_classes(Agent& agent, JNIEnv* jni, jvmtiEnv* scratch, Search& s, std::string* why)
{
    std::vector<uint32_t> ids;
    std::vector<bool> none;
    if (!tag_loaded_classes(agent.classes, jni, scratch, &none, &ids, why)) return false;
    for (uint32_t id : ids) {
        ClassInfo& info = agent.classes.info(id);
        if (!info.is_reference || info.is_interface) continue;
        if (!agent.classes.load_fields(jni, id, why)) return false;
        for (size_t f = 0; f < info.fields.size(); f++) {
            if (info.fields[f].name != "referent" || info.fields[f].declaring != "java.lang.ref.Reference") continue;
            s.referent_index[id] = info.first_index + static_cast<int>(f);
            jclass cls = static_cast<jclass>(jni->NewLocalRef(info.ref));
            if (!cls) continue;
            jvmtiError e = scratch->SetTag(cls, scratch_tag::CLASS | id);
            jni->DeleteLocalRef(cls);
            if (!jvmti_ok(scratch, e, "SetTag", why)) return false;
        }
    }
    return true;
}

}  // namespace

std::string path_request(RequestContext& ctx)
{
    Agent& agent = ctx.agent;
    JNIEnv* jni = ctx.jni;
    RequestArgs args(ctx.request, 1, {"weak", "depth"});
    const bool allow_weak = args.flag("weak", false);
    const int64_t depth = args.number("depth", 32, 1, 1000);
    if (!args.ok()) return error_body(VERB, err::USAGE, args.error());
    LocalFrame frame(jni, 64);
    std::string refused;
    jobject target = requested_object(agent, jni, VERB, args.positional(), refused);
    if (!target) return refused;
    ScratchEnv scratch(agent.vm);
    if (!scratch.ok()) return error_body(VERB, err::JVM, scratch.error());
    jvmtiEnv* env = scratch.get();
    std::string why;

    Search s;
    s.node_limit = static_cast<size_t>(agent.settings.walkmem_mib) * 1024 * 1024 / (sizeof(Node) + VM_TAG_BYTES);
    ThreadList threads;
    if (!tag_threads(env, jni, threads, &why) || !tag_reference_classes(agent, jni, env, s, &why))
        return error_body(VERB, err::JVM, why);
    s.threads = &threads;
    s.thread_node.assign(threads.threads.size(), NONE);
    s.thread_root.assign(threads.threads.size(), NONE);
    // H is node 0, at distance 0 both ways.
    if (!jvmti_ok(env, env->SetTag(target, scratch_tag::NODE), "SetTag", &why)) return error_body(VERB, err::JVM, why);
    s.add(scratch_tag::NODE, NONE);
    s.nodes[0].dist_strong = s.nodes[0].dist_any = 0;

    jvmtiHeapCallbacks callbacks{};
    callbacks.heap_reference_callback = search_reference;
    double walk_ms = 0;
    int64_t walks = 0;
    uint32_t found = NONE;
    bool found_any = allow_weak;
    for (;;) {
        s.changed = false;
        Stopwatch watch;
        // The first walk must see the roots it tags; later ones only the references to
        // objects already tagged, so the VM need not call back for all the others.
        jint filter = walks == 0 ? 0 : JVMTI_HEAP_FILTER_UNTAGGED;
        jvmtiError e = env->FollowReferences(filter, nullptr, nullptr, &callbacks, &s);
        const double ms = watch.ms();
        walk_ms += ms;
        walks++;
        report_pause("a walk of \"path\"", ms);
        if (s.too_large) {
            return error_body(VERB, err::TOO_LARGE,
                              "more than " + std::to_string(s.node_limit) + " objects lead to " + args.positional() +
                                  " within " + std::to_string(walks) + " hops; the search would take more than walkmem=" +
                                  std::to_string(agent.settings.walkmem_mib) + " MiB inside the VM");
        }
        if (!jvmti_ok(env, e, "FollowReferences", &why)) return error_body(VERB, err::JVM, why);
        uint32_t best = nearest_rooted(s, allow_weak);
        uint32_t best_dist = best == NONE ? FAR : allow_weak ? s.nodes[best].dist_any : s.nodes[best].dist_strong;
        if (best != NONE && best_dist <= static_cast<uint32_t>(walks)) {
            found = best;
            break;
        }
        if (!s.changed || walks >= depth) {
            // Every object that can lead to H within this many hops is known: no root
            // holds a strong chain; a chain through a referent may still exist.
            found = best;
            if (found == NONE && !allow_weak) {
                found = nearest_rooted(s, true);
                found_any = found != NONE;
            }
            break;
        }
    }

    RecordWriter status, out;
    status.record("ok").field(VERB);
    const bool exhausted = !s.changed;
    if (found == NONE) {
        status.pair("found", "none").pair("length", 0).pair_ms("walk_ms", walk_ms).pair("walks", walks);
        out.record("note").field(exhausted ? "no GC root reaches this object: it is garbage that the next collection frees"
                                           : "no GC root within " + std::to_string(depth) +
                                                 " references of this object (depth=N searches further)");
        return ok_body(status, out);
    }

    // The chain, from the root-held object down to H.
    std::vector<uint32_t> chain{found};
    while (chain.back() != 0) {
        const Node& n = s.nodes[chain.back()];
        uint32_t next = found_any ? n.next_any : n.next_strong;
        if (next == NONE || chain.size() > s.nodes.size()) break;
        chain.push_back(next);
    }
    bool through_referent = false;
    std::vector<jlong> tags;
    for (uint32_t id : chain)
        if (scratch_tag::kind(s.nodes[id].tag) == scratch_tag::NODE || scratch_tag::kind(s.nodes[id].tag) == scratch_tag::ROOTED)
            tags.push_back(s.nodes[id].tag);
    std::vector<jobject> objects;
    std::vector<jlong> got;
    if (!objects_with_tags(env, tags, objects, got, &why)) return error_body(VERB, err::JVM, why);
    auto object_of = [&](const Node& n) -> jobject {
        const uint64_t i = scratch_tag::index(n.tag);
        switch (scratch_tag::kind(n.tag)) {
        case scratch_tag::THREAD: return i < threads.threads.size() ? threads.threads[i] : nullptr;
        case scratch_tag::CLASS: return jni->NewLocalRef(agent.classes.info(static_cast<uint32_t>(i)).ref);
        default:
            for (size_t k = 0; k < got.size(); k++)
                if (got[k] == n.tag) return objects[k];
            return nullptr;
        }
    };

    const Node& first = s.nodes[chain.front()];
    jobject held = object_of(first);
    write_root(out, env, jni, s.roots[first.root], threads, held);
    jobject holder = nullptr;
    for (size_t i = 0; i < chain.size(); i++) {
        const Node& n = s.nodes[chain[i]];
        jobject obj = i == 0 ? held : object_of(n);
        if (!obj) return error_body(VERB, err::NOT_FOUND, "an object of the chain was freed while it was read; ask again");
        Holding h{"root", "", ""};
        if (i > 0) {
            const Node& prev = s.nodes[chain[i - 1]];
            const Edge& e = found_any ? prev.how_any : prev.how_strong;
            h = describe_holding(agent, jni, holder, e.kind, e.index);
            if (found_any && e.kind == JVMTI_HEAP_REFERENCE_FIELD && h.name == "referent" &&
                h.declared == "java.lang.ref.Reference")
                through_referent = true;
        }
        ObjectSummary sum;
        if (!summarize(agent, jni, obj, sum, &why)) return error_body(VERB, err::JVM, why);
        out.record("step").field(h.how).field(h.name).field(h.declared);
        write_object_fields(out, &sum);
        holder = obj;
    }
    const bool weak_chain = found_any && through_referent;
    status.pair("found", weak_chain ? "weak" : "strong").pair("length", static_cast<int64_t>(chain.size()))
        .pair_ms("walk_ms", walk_ms).pair("walks", walks);
    RecordWriter notes;
    if (weak_chain && !allow_weak)
        notes.record("note").field("no strong chain reaches this object: it is held only through the referent of a "
                                   "java.lang.ref.Reference, and can be collected");
    else if (!allow_weak)
        notes.record("note").field("chains through the referent of weak, soft, phantom and final references are not "
                                   "taken (weak=1 takes them)");
    const Node& top = s.nodes[chain.front()];
    const uint32_t dist = found_any ? top.dist_any : top.dist_strong;
    if (!exhausted && dist > static_cast<uint32_t>(walks))
        notes.record("note").field("no chain within " + std::to_string(walks) +
                                   " references exists; this longer one is not proven the shortest");
    std::string body = status.take();
    body += notes.take();
    body += out.take();
    return body;
}
