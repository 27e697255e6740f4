#include "object_binding.h"

#include <cstdio>

#include "agent_state.h"
#include "jvmti_check.h"

namespace {

void remember(Agent& agent, JNIEnv* jni, uint32_t handle, jobject obj)
{
    if (agent.object_refs.count(handle)) return;
    if (jweak w = jni->NewWeakGlobalRef(obj)) agent.object_refs.emplace(handle, w);
}

}  // namespace

std::string handle_text(uint32_t handle)
{
    char buf[16];
    snprintf(buf, sizeof buf, "%x", handle);
    return buf;
}

jobject object_for(Agent& agent, JNIEnv* jni, uint32_t handle)
{
    auto cached = agent.object_refs.find(handle);
    if (cached != agent.object_refs.end()) {
        jobject obj = jni->NewLocalRef(cached->second);
        if (obj) return obj;
        jni->DeleteWeakGlobalRef(cached->second);  // collected
        agent.object_refs.erase(cached);
        return nullptr;
    }
    ObjectDetails* d = agent.descriptors.descriptor_of(handle);
    if (!d) return nullptr;
    if (agent.descriptors.is_class_descriptor(d)) {
        // The class table keeps weak references to its classes: no search needed.
        size_t i = agent.descriptors.class_index(d);
        const auto& refs = agent.snapshot.class_refs;
        return i < refs.size() && refs[i] ? jni->NewLocalRef(refs[i]) : nullptr;
    }
    jobject obj = getObject(agent.jvmti, make_tag(handle));
    if (obj) remember(agent, jni, handle, obj);
    return obj;
}

uint32_t handle_for(Agent& agent, JNIEnv* jni, jobject obj, std::string* why)
{
    jvmtiEnv* env = agent.jvmti;
    jlong tag = 0;
    if (!jvmti_ok(env, env->GetTag(obj, &tag), "GetTag", why)) return 0;
    if (tag != 0) {
        if (ObjectDetails* d = agent.descriptors.descriptor_of(handle_of(tag))) {
            remember(agent, jni, d->handle, obj);
            return d->handle;
        }
    }
    // Untagged, or tagged by a class table that is gone: a new object descriptor.
    ObjectDetails* d = agent.descriptors.new_object_descriptor();
    if (!d) {
        if (why) *why = "the agent has given out every object handle";
        return 0;
    }
    jclass cls = jni->GetObjectClass(obj);
    char* sig = nullptr;
    if (cls && env->GetClassSignature(cls, &sig, nullptr) == JVMTI_ERROR_NONE && sig) {
        d->signature = agent.descriptors.intern_signature(sig);
        env->Deallocate(reinterpret_cast<unsigned char*>(sig));
    } else {
        d->signature = agent.descriptors.intern_signature("");
    }
    if (cls) jni->DeleteLocalRef(cls);
    if (!jvmti_ok(env, env->SetTag(obj, make_tag(d->handle)), "SetTag", why)) return 0;
    remember(agent, jni, d->handle, obj);
    return d->handle;
}
