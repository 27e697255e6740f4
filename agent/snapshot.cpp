#include "snapshot.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "agent_state.h"
#include "direct_walk.h"
#include "heap_kinds.h"
#include "jvmti_check.h"
#include "listing.h"
#include "object_details.h"
#include "object_lookup.h"
#include "scratch_env.h"

namespace {

// Adds one instance report to a class descriptor's count and size, wrapping at 32 bits.
void count_instance(ObjectDetails* c, jlong size)
{
    c->count = static_cast<int32_t>(static_cast<uint32_t>(c->count) + 1u);
    c->size = static_cast<int32_t>(static_cast<uint32_t>(c->size) + static_cast<uint32_t>(size));
}

enum class Report { Root, Reference };

// Finds or makes the descriptor of the object behind tag_ptr, recording the report's kind.
ObjectDetails* bind_descriptor(Agent& agent, Report report, int kind, jlong class_tag, ObjectDetails* c,
                               jlong* tag_ptr)
{
    DescriptorRegistry& reg = agent.descriptors;
    ObjectDetails* od = nullptr;
    if (*tag_ptr != 0 && *tag_ptr != class_tag) od = reg.descriptor_of(handle_of(*tag_ptr));
    if (*tag_ptr == class_tag) {
        od = c;
    } else if (!od) {
        // Untagged, or tagged by a table that is gone: a new object descriptor.
        od = reg.new_object_descriptor();
        if (!od) return nullptr;
        od->signature = c->signature;
        *tag_ptr = make_tag(od->handle);
        if (report == Report::Root) trace("h3:tag_ptr=%x\n", addr32(tag_ptr));
        else trace("o3:*tag_ptr=%llx\n", static_cast<unsigned long long>(*tag_ptr));
    } else {
        if (report == Report::Reference) {
            trace("o3:*tag_ptr != class_tag\n");
            trace("o3:od = %x\n", handle_text_of(od));
        }
        if (!reg.is_class_descriptor(od)) od->signature = c->signature;
    }
    if (report == Report::Root) od->root_kind = static_cast<int8_t>(kind);
    else od->ref_kind = static_cast<int8_t>(kind);
    od->seq = agent.snapshot.visit_counter++;
    return od;
}

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

void release_reply(Agent& agent) { agent.snapshot.reply.clear(); }

void prepareSnapshot(Agent& agent, JNIEnv* jni)
{
    Snapshot& s = agent.snapshot;
    jvmtiEnv* env = agent.jvmti;
    free_root_objects(s.roots);
    s.generation++;
    Stopwatch gc;
    jvmti_ok_or_report(env, env->ForceGarbageCollection(), "ForceGarbageCollection");
    report_pause("the collection of \"p\"", gc.ms());

    trace("GetLoadedClasses\n");
    jint n = 0;
    jclass* classes = nullptr;
    jvmtiError err = env->GetLoadedClasses(&n, &classes);
    trace("err=%d\n", err);
    if (!jvmti_ok_or_report(env, err, "GetLoadedClasses")) n = 0;
    // The array came as n local references in this frame: declare them, or checked JNI
    // warns that the frame's capacity is exceeded.
    if (jni && n > 0 && jni->EnsureLocalCapacity(n + 16) != JNI_OK) jni->ExceptionClear();

    ObjectDetails* details = agent.descriptors.new_class_table(static_cast<size_t>(n));
    trace("details=%d\n", static_cast<int>(addr32(details)));
    trace("count=%d\n", n);

    s.class_refs.assign(static_cast<size_t>(n), nullptr);
    bool tag_failed = false;
    for (jint i = 0; i < n; i++) {
        char* sig = nullptr;
        if (env->GetClassSignature(classes[i], &sig, nullptr) == JVMTI_ERROR_NONE && sig) {
            details[i].signature = agent.descriptors.intern_signature(sig);
            env->Deallocate(reinterpret_cast<unsigned char*>(sig));
        } else {
            details[i].signature = agent.descriptors.intern_signature("");
        }
        // One report for the whole table: a failing SetTag fails for every class alike.
        jvmtiError tag_err = env->SetTag(classes[i], make_tag(details[i].handle));
        if (tag_err != JVMTI_ERROR_NONE && !tag_failed) tag_failed = !jvmti_ok_or_report(env, tag_err, "SetTag");
        // The array's references are locals of this attach; each is traded for a weak
        // global at once, so the frame never holds more than one of them.
        s.class_refs[i] = jni ? jni->NewWeakGlobalRef(classes[i]) : nullptr;
        if (jni) jni->DeleteLocalRef(classes[i]);
    }
    if (classes) env->Deallocate(reinterpret_cast<unsigned char*>(classes));
}

void releaseSnapshot(Agent& agent, JNIEnv* jni)
{
    Snapshot& s = agent.snapshot;
    jvmtiEnv* env = agent.jvmti;
    trace("UnSetTag\n");
    for (jweak w : s.class_refs) {
        if (!w || !jni) continue;
        jobject cls = jni->NewLocalRef(w);  // null once the class has been unloaded
        if (!cls) continue;
        env->SetTag(cls, 0);
        jni->DeleteLocalRef(cls);
    }
    trace("Deallocate\n");
    for (jweak w : s.class_refs)
        if (w && jni) jni->DeleteWeakGlobalRef(w);
    s.class_refs.clear();
    trace("free signature\n");
    trace("free details\n");
    s.field_plans.clear();
    agent.descriptors.free_class_table();
    trace("END\n");
    trace_flush();
    if (jni) jni->ExceptionClear();
}

jobject getObject(jvmtiEnv* env, jlong tag)
{
    trace("getObject:tag=%llx\n", static_cast<unsigned long long>(tag));
    jint ocount = 0;
    jobject* objs = nullptr;
    jlong* tags = nullptr;
    if (!jvmti_ok_or_report(env, env->GetObjectsWithTags(1, &tag, &ocount, &objs, &tags), "GetObjectsWithTags"))
        ocount = 0;
    trace("getObject: ocount = %d\n", ocount);
    jobject found = ocount == 1 ? objs[0] : nullptr;
    if (objs) env->Deallocate(reinterpret_cast<unsigned char*>(objs));
    if (tags) env->Deallocate(reinterpret_cast<unsigned char*>(tags));
    return found;
}

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

jvmtiIterationControl JNICALL heap_root_callback(jvmtiHeapRootKind root_kind, jlong class_tag, jlong size,
                                                 jlong* tag_ptr, void* user_data)
{
    trace("heap_root_callback\n");
    if (class_tag == 0) return JVMTI_ITERATION_CONTINUE;
    Agent& agent = *static_cast<WalkContext*>(user_data)->agent;
    ObjectDetails* c = agent.descriptors.descriptor_of(handle_of(class_tag));
    if (!c) return JVMTI_ITERATION_CONTINUE;  // a class outside the table
    trace("h1:class_tag=%llx\n", static_cast<unsigned long long>(class_tag));
    trace("h1:d=%x\n", c->handle);
    count_instance(c, size);
    trace("h1:d->signature=%s\n", c->signature);
    trace("h2:*tag_ptr=%llx\n", static_cast<unsigned long long>(*tag_ptr));

    ObjectDetails* od = bind_descriptor(agent, Report::Root, root_kind, class_tag, c, tag_ptr);
    if (!od) return JVMTI_ITERATION_CONTINUE;
    trace("ho:od->signature=%s\n", od->signature);
    trace("0:od=%x\n", od->handle);
    root_list_append(agent.snapshot.roots, od);
    return JVMTI_ITERATION_CONTINUE;
}

jvmtiIterationControl JNICALL object_ref_callback(jvmtiObjectReferenceKind reference_kind, jlong class_tag,
                                                  jlong size, jlong* tag_ptr, jlong referrer_tag, jint referrer_index,
                                                  void* user_data)
{
    trace("object_ref_callback: class_tag=%llx\n", static_cast<unsigned long long>(class_tag));
    auto* ctx = static_cast<WalkContext*>(user_data);
    Agent& agent = *ctx->agent;
    ObjectDetails* start = ctx->start;
    ObjectDetails* c = class_tag != 0 ? agent.descriptors.descriptor_of(handle_of(class_tag)) : nullptr;
    if (c && start && handle_of(referrer_tag) == start->handle) {
        trace("o0:class_tag=%llx\n", static_cast<unsigned long long>(class_tag));
        count_instance(c, size);
        trace("o2:*tag_ptr=%llx\n", static_cast<unsigned long long>(*tag_ptr));
        ObjectDetails* od = bind_descriptor(agent, Report::Reference, reference_kind, class_tag, c, tag_ptr);
        if (od) {
            // Where to read it back from, so that finding it needs no tag search.
            od->parent = start->handle;
            od->parent_kind = static_cast<uint8_t>(reference_kind);
            od->parent_index = referrer_index;
            trace("o5:od->signature = %s\n", od->signature);
            trace("o6:referrer_tag = %llx\n", static_cast<unsigned long long>(referrer_tag));
            trace("o6:add_list\n");
            if (tracing()) {
                add_list(&list_of(start), od, 1);
            } else if (od->listed_walk != agent.snapshot.reference_walk) {
                // A million-entry list would otherwise pay a hash lookup and insert per entry.
                od->listed_walk = agent.snapshot.reference_walk;
                agent.snapshot.walk_entries.push_back(od);
            }
        }
    }
    trace_flush();
    return JVMTI_ITERATION_CONTINUE;
}
