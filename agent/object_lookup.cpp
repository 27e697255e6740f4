#include "object_lookup.h"

#include <algorithm>
#include <vector>

#include "agent_state.h"
#include "jvmti_check.h"
#include "local_frame.h"
#include "tagged_objects.h"

namespace {

// Parent chains are short in practice: one per level the client expanded.
constexpr int MAX_CHAIN = 256;

// The object parent holds through a 1.0 reference kind and index, or nullptr.
jobject child_of(Agent& agent, JNIEnv* jni, jobject parent, uint8_t kind, int32_t index)
{
    switch (kind) {
    case JVMTI_REFERENCE_ARRAY_ELEMENT: {
        jclass cls = jni->GetObjectClass(parent);
        Expected<uint32_t> id = agent.classes.id_of(jni, cls);
        jni->DeleteLocalRef(cls);
        if (!id || agent.classes.info(*id).kind != ValueKind::ObjectArray) return nullptr;
        auto array = static_cast<jobjectArray>(parent);
        if (index < 0 || index >= jni->GetArrayLength(array)) return nullptr;
        return jni->GetObjectArrayElement(array, index);
    }
    case JVMTI_REFERENCE_FIELD:
    case JVMTI_REFERENCE_STATIC_FIELD: {
        const bool is_static = kind == JVMTI_REFERENCE_STATIC_FIELD;
        jclass cls = is_static ? static_cast<jclass>(jni->NewLocalRef(parent)) : jni->GetObjectClass(parent);
        Expected<uint32_t> id = agent.classes.id_of(jni, cls);
        const FieldEntry* f = id ? agent.classes.field_at(jni, *id, index) : nullptr;
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
    jobject obj = nullptr;
    if (traced) {
        obj = getObject(agent.jvmti, tag);
    } else if (Expected<TaggedObjects> found = objects_with_tags(agent.jvmti, &tag, 1);
               found && found->objects.size() == 1) {
        obj = found->objects[0];
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
        LocalFrame batch(jni, static_cast<jint>(BATCH) + 16);  // the batch's objects come as locals
        Expected<TaggedObjects> found = objects_with_tags(agent.jvmti, tags.data() + at, std::min(BATCH, tags.size() - at));
        if (!found) {
            progress("vorlanagt: %s\n", found.failure().message.c_str());
            return;
        }
        for (size_t i = 0; i < found->objects.size(); i++)
            remember_object(agent, jni, handle_of(found->tags[i]), found->objects[i]);
    }
}

jobject getObject(jvmtiEnv* env, jlong tag)
{
    trace("getObject:tag=%llx\n", static_cast<unsigned long long>(tag));
    Expected<TaggedObjects> found = objects_with_tags(env, &tag, 1);
    if (!found) progress("vorlanagt: %s\n", found.failure().message.c_str());
    const size_t ocount = found ? found->objects.size() : 0;
    trace("getObject: ocount = %d\n", static_cast<int>(ocount));
    return ocount == 1 ? found->objects[0] : nullptr;
}
