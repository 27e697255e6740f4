#include "object_lookup.h"

#include <vector>

#include "agent_state.h"
#include "jvmti_check.h"
#include "snapshot.h"

namespace {

// Parent chains are short in practice: one per level the client expanded.
constexpr int MAX_CHAIN = 256;

// The object parent holds through a 1.0 reference kind and index, or nullptr.
jobject child_of(Agent& agent, JNIEnv* jni, jobject parent, uint8_t kind, int32_t index)
{
    switch (kind) {
    case JVMTI_REFERENCE_ARRAY_ELEMENT: {
        jclass cls = jni->GetObjectClass(parent);
        uint32_t id = agent.classes.id_of(jni, cls);
        jni->DeleteLocalRef(cls);
        if (id == UINT32_MAX || agent.classes.info(id).kind != ValueKind::ObjectArray) return nullptr;
        auto array = static_cast<jobjectArray>(parent);
        if (index < 0 || index >= jni->GetArrayLength(array)) return nullptr;
        return jni->GetObjectArrayElement(array, index);
    }
    case JVMTI_REFERENCE_FIELD:
    case JVMTI_REFERENCE_STATIC_FIELD: {
        const bool is_static = kind == JVMTI_REFERENCE_STATIC_FIELD;
        jclass cls = is_static ? static_cast<jclass>(jni->NewLocalRef(parent)) : jni->GetObjectClass(parent);
        uint32_t id = agent.classes.id_of(jni, cls);
        const FieldEntry* f = id != UINT32_MAX ? agent.classes.field_at(jni, id, index) : nullptr;
        jobject value = nullptr;
        if (f && f->is_static == is_static && (f->signature[0] == 'L' || f->signature[0] == '['))
            value = is_static ? jni->GetStaticObjectField(cls, f->id) : jni->GetObjectField(parent, f->id);
        jni->DeleteLocalRef(cls);
        return value;
    }
    case JVMTI_REFERENCE_CLASS:
        return jni->GetObjectClass(parent);
    case JVMTI_REFERENCE_CLASS_LOADER: {
        jobject loader = nullptr;
        return agent.jvmti->GetClassLoader(static_cast<jclass>(parent), &loader) == JVMTI_ERROR_NONE ? loader : nullptr;
    }
    default:
        return nullptr;  // pool entries, signers, ...: only the tag search finds them
    }
}

bool carries(Agent& agent, jobject obj, const ObjectDetails* d)
{
    jlong tag = 0;
    return obj && agent.jvmti->GetTag(obj, &tag) == JVMTI_ERROR_NONE && tag == make_tag(d->handle);
}

jobject find(Agent& agent, JNIEnv* jni, ObjectDetails* d, int depth)
{
    DescriptorRegistry& reg = agent.descriptors;
    if (reg.is_class_descriptor(d)) {
        size_t i = reg.class_index(d);
        const auto& refs = agent.snapshot.class_refs;
        return i < refs.size() && refs[i] ? jni->NewLocalRef(refs[i]) : nullptr;
    }
    if (d->ref) return jni->NewLocalRef(static_cast<jweak>(d->ref));  // null: collected
    ObjectDetails* parent = reg.descriptor_of(d->parent);
    if (!parent || parent == d || depth >= MAX_CHAIN) return nullptr;
    jobject holder = find(agent, jni, parent, depth + 1);
    if (!holder) return nullptr;
    jobject child = child_of(agent, jni, holder, d->parent_kind, d->parent_index);
    // A class object's reference of kind "class" may be its superclass.
    if (!carries(agent, child, d) && d->parent_kind == JVMTI_REFERENCE_CLASS && reg.is_class_descriptor(parent)) {
        if (child) jni->DeleteLocalRef(child);
        child = jni->GetSuperclass(static_cast<jclass>(holder));
    }
    jni->DeleteLocalRef(holder);
    jni->ExceptionClear();
    if (!carries(agent, child, d)) {
        if (child) jni->DeleteLocalRef(child);
        return nullptr;  // the holder refers to something else by now
    }
    remember_object(agent, jni, d->handle, child);
    return child;
}

}  // namespace

void remember_object(Agent& agent, JNIEnv* jni, uint32_t handle, jobject obj)
{
    ObjectDetails* d = agent.descriptors.descriptor_of(handle);
    if (!d || d->ref || agent.descriptors.is_class_descriptor(d)) return;
    d->ref = jni->NewWeakGlobalRef(obj);
}

void forget_object(JNIEnv* jni, ObjectDetails* d)
{
    if (d->ref && jni) jni->DeleteWeakGlobalRef(static_cast<jweak>(d->ref));
    d->ref = nullptr;
}

jobject lookup_object(Agent& agent, JNIEnv* jni, ObjectDetails* d, bool traced)
{
    const jlong tag = make_tag(d->handle);
    const bool known = d->ref || agent.descriptors.is_class_descriptor(d);
    if (jni) {
        if (jobject obj = find(agent, jni, d, 0)) {
            if (traced) {
                trace("getObject:tag=%llx\n", static_cast<unsigned long long>(tag));
                trace("getObject: ocount = %d\n", 1);
            }
            return obj;
        }
        if (known) {
            // Its weak reference has gone null: the object was collected.
            if (traced) {
                trace("getObject:tag=%llx\n", static_cast<unsigned long long>(tag));
                trace("getObject: ocount = %d\n", 0);
            }
            return nullptr;
        }
    }
    jobject obj = traced ? getObject(agent.jvmti, tag) : nullptr;
    if (!traced) {
        jint count = 0;
        jobject* objs = nullptr;
        if (agent.jvmti->GetObjectsWithTags(1, &tag, &count, &objs, nullptr) == JVMTI_ERROR_NONE && count == 1)
            obj = objs[0];
        if (objs) agent.jvmti->Deallocate(reinterpret_cast<unsigned char*>(objs));
    }
    if (obj && jni) remember_object(agent, jni, d->handle, obj);
    return obj;
}

void remember_roots(Agent& agent, JNIEnv* jni)
{
    if (!jni) return;
    std::vector<jlong> tags;
    for (const RootNode* n = agent.snapshot.roots.root_objs.get(); n; n = n->next.get())
        if (n->objd && !n->objd->ref && !agent.descriptors.is_class_descriptor(n->objd)) tags.push_back(make_tag(n->objd->handle));
    // One search of the tag map per batch; the VM compares each entry with every tag
    // asked for, so batches stay small.
    constexpr size_t BATCH = 256;
    for (size_t at = 0; at < tags.size(); at += BATCH) {
        jint count = 0;
        jobject* objs = nullptr;
        jlong* found = nullptr;
        const jint n = static_cast<jint>(std::min(BATCH, tags.size() - at));
        if (!jvmti_ok_or_report(agent.jvmti, agent.jvmti->GetObjectsWithTags(n, tags.data() + at, &count, &objs, &found),
                                "GetObjectsWithTags"))
            return;
        for (jint i = 0; i < count; i++) {
            remember_object(agent, jni, handle_of(found[i]), objs[i]);
            jni->DeleteLocalRef(objs[i]);
        }
        agent.jvmti->Deallocate(reinterpret_cast<unsigned char*>(objs));
        agent.jvmti->Deallocate(reinterpret_cast<unsigned char*>(found));
    }
}
