#include "build_listing.h"

#include <cstdio>
#include <string>
#include <vector>

#include "agent_state.h"
#include "direct_walk.h"
#include "heap_kinds.h"
#include "jvmti_check.h"
#include "listing.h"
#include "object_lookup.h"
#include "stopwatch.h"
#include "walk_callbacks.h"

namespace {

jint JNICALL root_reference(jvmtiHeapReferenceKind kind, const jvmtiHeapReferenceInfo*, jlong class_tag, jlong,
                            jlong size, jlong* tag_ptr, jlong* referrer_tag_ptr, jint, void* user_data)
{
    // Roots only; stack and JNI locals never enter the root list. Nothing is visited
    // beyond the roots (no JVMTI_VISIT_OBJECTS).
    int root_kind = referrer_tag_ptr ? 0 : root_kind_of(kind);
    if (root_kind != 0 && root_kind != JVMTI_HEAP_ROOT_STACK_LOCAL && root_kind != JVMTI_HEAP_ROOT_JNI_LOCAL)
        heap_root_callback(static_cast<jvmtiHeapRootKind>(root_kind), class_tag, size, tag_ptr, user_data);
    return 0;
}

jint JNICALL object_reference(jvmtiHeapReferenceKind kind, const jvmtiHeapReferenceInfo* info, jlong class_tag,
                              jlong, jlong size, jlong* tag_ptr, jlong* referrer_tag_ptr, jint, void* user_data)
{
    // Only the start object's own references are reported: nothing is visited beyond them.
    if (referrer_tag_ptr) {
        object_ref_callback(static_cast<jvmtiObjectReferenceKind>(object_ref_kind_of(kind)), class_tag, size,
                            tag_ptr, *referrer_tag_ptr, referrer_index_of(kind, info), user_data);
    }
    return 0;
}

// Starts a new reference walk from d: descriptors listed by earlier walks count as
// unlisted, and nothing is found yet.
void next_reference_walk(Snapshot& s, ObjectDetails* d)
{
    if (++s.reference_walk == 0) s.reference_walk = 1;
    s.walk_entries.clear();
    d->next_obj_list.reset();
}

// One level of d's references from jo through the heap walk.
jvmtiError heap_walk_references(Agent& agent, jobject jo, ObjectDetails* d)
{
    jvmtiHeapCallbacks callbacks{};
    callbacks.heap_reference_callback = object_reference;
    WalkContext ctx{&agent, d};
    Stopwatch watch;
    jvmtiError err = agent.jvmti->FollowReferences(0, nullptr, jo, &callbacks, &ctx);
    report_pause("the reference walk of \"e\"", watch.ms());
    return err;
}

#ifdef VORLAN_VERIFY_DIRECT_WALK
std::vector<const ObjectDetails*> entries_of(const Snapshot& s, const ObjectDetails* d)
{
    if (!tracing()) return {s.walk_entries.begin(), s.walk_entries.end()};
    std::vector<const ObjectDetails*> out;
    for (const ObjNode* n = d->next_obj_list ? &d->next_obj_list->head : nullptr; n && n->obj; n = n->nlist.get())
        out.push_back(n->obj);
    return out;
}

// Test builds walk every directly walked object once more through the heap and report
// any difference on standard error; the heap walk's result is the one kept.
void verify_direct_walk(Agent& agent, jobject jo, ObjectDetails* d)
{
    std::vector<const ObjectDetails*> direct = entries_of(agent.snapshot, d);
    next_reference_walk(agent.snapshot, d);
    heap_walk_references(agent, jo, d);
    std::vector<const ObjectDetails*> heap = entries_of(agent.snapshot, d);
    fprintf(stderr, "vorlanagt: direct walk checked\n");
    if (direct == heap) return;
    std::string text = "vorlanagt: direct walk differs from the heap walk for " + std::string(d->signature) + ":";
    for (auto* e : direct) text += " " + std::string(e->signature);
    text += " | heap:";
    for (auto* e : heap) text += " " + std::string(e->signature);
    fprintf(stderr, "%s\n", text.c_str());
}
#endif

// One level of d's references from jo, into d's (empty) reference list.
jvmtiError walk_references(Agent& agent, JNIEnv* jni, jobject jo, ObjectDetails* d)
{
    next_reference_walk(agent.snapshot, d);
    if (walk_fields_directly(agent, jni, jo, d)) {
#ifdef VORLAN_VERIFY_DIRECT_WALK
        verify_direct_walk(agent, jo, d);
#endif
        return JVMTI_ERROR_NONE;
    }
    // Anything the direct walk reported before it gave up goes; the heap walk starts over.
    next_reference_walk(agent.snapshot, d);
    return heap_walk_references(agent, jo, d);
}

}  // namespace

void buildListing(Agent& agent, JNIEnv* jni, uint32_t handle)
{
    Snapshot& s = agent.snapshot;
    jvmtiEnv* env = agent.jvmti;
    ObjectDetails* d = nullptr;
    if (handle != 0) {
        // A handle that names no live descriptor is never dereferenced: empty listing.
        d = agent.descriptors.descriptor_of(handle);
        if (d) {
            d->next_obj_list.reset();
            jobject jo = lookup_object(agent, jni, d, true);
            trace("IterateOverObjectsReachableFromObject:jo=%x\n", addr32(jo));
            jvmtiError err = JVMTI_ERROR_INVALID_OBJECT;
            // A null start object would make FollowReferences walk from the roots.
            if (jo) {
                err = walk_references(agent, jni, jo, d);
                jvmti_ok_or_report(env, err, "FollowReferences");
                if (jni) jni->DeleteLocalRef(jo);
            }
            trace("IterateOverObjectsReachableFromObject:err=%x\n", err);
        }
    } else {
        trace("IterateOverReachableObjects\n");
        jvmtiHeapCallbacks callbacks{};
        callbacks.heap_reference_callback = root_reference;
        WalkContext ctx{&agent, nullptr};
        Stopwatch watch;
        jvmti_ok_or_report(env, env->FollowReferences(0, nullptr, nullptr, &callbacks, &ctx), "FollowReferences");
        report_pause("the root walk", watch.ms());
        remember_roots(agent, jni);
    }

    s.reply.clear();
    trace("send contents\n");
    if (handle != 0) {
        if (d && tracing()) {
            collect_reference_listing(s.reply, d);
        } else if (d) {
            // Distinct already, in the order the walk found them.
            s.reply.entries.reserve(s.walk_entries.size());
            for (ObjectDetails* e : s.walk_entries) s.reply.add(e);
            std::vector<ObjectDetails*>().swap(s.walk_entries);
        }
        // The listing holds its entries now; the list would only keep them alive.
        if (d) d->next_obj_list.reset();
    } else {
        trace("gathering contents \n");
        collect_root_listing(s.reply, s.roots, agent.settings.kind);
    }
    for (ObjectDetails* e : s.reply.entries) e->listed_gen = s.generation;
    trace("contents gathered\n");
    trace("%s", listing_text(s.reply).c_str());
}
