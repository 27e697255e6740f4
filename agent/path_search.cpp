#include "path_search.h"

#include "agent_log.h"
#include "class_tagging.h"
#include "heap_kinds.h"
#include "jvmti_check.h"
#include "scratch_tags.h"
#include "stopwatch.h"

namespace {

constexpr uint32_t FAR = PathNode::FAR;
constexpr uint32_t NONE = PathNode::NONE;

// Of two equally short ways a class holds the next object, the static field says what
// the program holds it by; the constant pool entry (a resolved literal or class) does not.
bool names_better(const PathEdge& edge, const PathEdge& known)
{
    return edge.kind == JVMTI_HEAP_REFERENCE_STATIC_FIELD && known.kind == JVMTI_HEAP_REFERENCE_CONSTANT_POOL;
}

jint JNICALL search_reference(jvmtiHeapReferenceKind kind, const jvmtiHeapReferenceInfo* info, jlong,
                              jlong referrer_class_tag, jlong, jlong* tag_ptr, jlong* referrer_tag_ptr, jint,
                              void* user_data)
{
    auto* s = static_cast<PathSearch*>(user_data);
    if (!referrer_tag_ptr) {
        RootReport r = root_report(kind, info);
        if (!own_root(r, *s->threads)) s->note_root(*tag_ptr, r);
        return JVMTI_VISIT_OBJECTS;
    }
    if (*tag_ptr == 0) return JVMTI_VISIT_OBJECTS;  // the common case: nothing known of it
    const uint32_t y = s->node_of(*tag_ptr, false);
    if (y == NONE) return JVMTI_VISIT_OBJECTS;
    PathEdge edge{kind, referrer_index_of(kind, info)};
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
    PathNode& nx = s->nodes[x];
    const PathNode& ny = s->nodes[y];
    if (ny.dist_any != FAR && ny.dist_any + 1 < nx.dist_any) {
        nx.dist_any = ny.dist_any + 1;
        nx.next_any = y;
        nx.how_any = edge;
        s->changed = true;
    } else if (ny.dist_any != FAR && ny.dist_any + 1 == nx.dist_any && names_better(edge, nx.how_any)) {
        nx.next_any = y;
        nx.how_any = edge;
    }
    if (!weak && ny.dist_strong != FAR && ny.dist_strong + 1 < nx.dist_strong) {
        nx.dist_strong = ny.dist_strong + 1;
        nx.next_strong = y;
        nx.how_strong = edge;
        s->changed = true;
    } else if (!weak && ny.dist_strong != FAR && ny.dist_strong + 1 == nx.dist_strong &&
               names_better(edge, nx.how_strong)) {
        nx.next_strong = y;
        nx.how_strong = edge;
    }
    return JVMTI_VISIT_OBJECTS;
}

}  // namespace

PathSearch::PathSearch(const ThreadList& t, size_t limit) : threads(&t), node_limit(limit)
{
    thread_node.assign(t.threads.size(), NONE);
    thread_root.assign(t.threads.size(), NONE);
    // H is node 0, at distance 0 both ways.
    add(scratch_tag::NODE, NONE);
    nodes[0].dist_strong = nodes[0].dist_any = 0;
}

uint32_t PathSearch::add(jlong tag, uint32_t root)
{
    nodes.push_back(PathNode{});
    nodes.back().tag = tag;
    nodes.back().root = root;
    return static_cast<uint32_t>(nodes.size() - 1);
}

// The node of an object reported with this tag; with make, one is made for it (and its
// tag set) when it has none.
uint32_t PathSearch::node_of(jlong& tag, bool make)
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
uint32_t PathSearch::add_root(const RootReport& report)
{
    roots.push_back(report);
    rooted_node.push_back(NONE);
    return static_cast<uint32_t>(roots.size() - 1);
}

void PathSearch::note_root(jlong& tag, const RootReport& report)
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

uint32_t PathSearch::nearest_rooted(bool any) const
{
    uint32_t best = NONE;
    for (uint32_t i = 0; i < nodes.size(); i++) {
        const PathNode& n = nodes[i];
        uint32_t d = any ? n.dist_any : n.dist_strong;
        if (n.root == NONE || d == FAR) continue;
        if (best == NONE || d < (any ? nodes[best].dist_any : nodes[best].dist_strong)) best = i;
    }
    return best;
}

Status tag_reference_classes(ClassCatalog& catalog, JNIEnv* jni, jvmtiEnv* scratch, PathSearch& s)
{
    std::vector<uint32_t> ids;
    std::vector<bool> none;
    if (Status t = tag_loaded_classes(catalog, jni, scratch, &none, &ids); !t) return t;
    for (uint32_t id : ids) {
        ClassInfo& info = catalog.info(id);
        if (!info.is_reference || info.is_interface) continue;
        if (Status f = catalog.load_fields(jni, id); !f) return f;
        for (size_t f = 0; f < info.fields.size(); f++) {
            if (info.fields[f].name != "referent" || info.fields[f].declaring != "java.lang.ref.Reference") continue;
            s.referent_index[id] = info.first_index + static_cast<int>(f);
            jclass cls = static_cast<jclass>(jni->NewLocalRef(info.ref));
            if (!cls) continue;
            jvmtiError e = scratch->SetTag(cls, scratch_tag::CLASS | id);
            jni->DeleteLocalRef(cls);
            if (Status t = jvmti_check(scratch, e, "SetTag"); !t) return t;
        }
    }
    return {};
}

Expected<PathOutcome> search_path(jvmtiEnv* env, PathSearch& s, bool allow_weak, int64_t depth)
{
    PathOutcome o;
    o.any = allow_weak;
    jvmtiHeapCallbacks callbacks{};
    callbacks.heap_reference_callback = search_reference;
    for (;;) {
        s.changed = false;
        Stopwatch watch;
        // The first walk must see the roots it tags; later ones only the references to
        // objects already tagged, so the VM need not call back for all the others.
        jint filter = o.walks == 0 ? 0 : JVMTI_HEAP_FILTER_UNTAGGED;
        jvmtiError e = env->FollowReferences(filter, nullptr, nullptr, &callbacks, &s);
        const double ms = watch.ms();
        o.walk_ms += ms;
        o.walks++;
        report_pause("a walk of \"path\"", ms);
        if (s.too_large) return o;
        if (Status walked = jvmti_check(env, e, "FollowReferences"); !walked) return walked.failure();
        uint32_t best = s.nearest_rooted(allow_weak);
        uint32_t best_dist = best == NONE ? FAR : allow_weak ? s.nodes[best].dist_any : s.nodes[best].dist_strong;
        if (best != NONE && best_dist <= static_cast<uint32_t>(o.walks)) {
            o.found = best;
            break;
        }
        if (!s.changed || o.walks >= depth) {
            // Every object that can lead to H within this many hops is known: no root
            // holds a strong chain; a chain through a referent may still exist.
            o.found = best;
            if (o.found == NONE && !allow_weak) {
                o.found = s.nearest_rooted(true);
                o.any = o.found != NONE;
            }
            break;
        }
    }
    o.exhausted = !s.changed;
    return o;
}

std::vector<uint32_t> path_chain(const PathSearch& s, const PathOutcome& o)
{
    std::vector<uint32_t> chain{o.found};
    while (chain.back() != 0) {
        const PathNode& n = s.nodes[chain.back()];
        uint32_t next = o.any ? n.next_any : n.next_strong;
        if (next == NONE || chain.size() > s.nodes.size()) break;
        chain.push_back(next);
    }
    return chain;
}
