#include "object_binding.h"

#include <cstdio>

#include "agent_state.h"
#include "jvmti_check.h"
#include "object_lookup.h"
#include "records.h"
#include "request_frame.h"

std::string handle_text(uint32_t handle)
{
    char buf[16];
    snprintf(buf, sizeof buf, "%x", handle);
    return buf;
}

jobject object_for(Agent& agent, JNIEnv* jni, uint32_t handle)
{
    ObjectDetails* d = agent.descriptors.descriptor_of(handle);
    if (!d) return nullptr;
    jobject obj = lookup_object(agent, jni, d, false);
    if (obj) d->listed_gen = agent.snapshot.generation;
    return obj;
}

jobject requested_object(Agent& agent, JNIEnv* jni, const char* verb, const std::string& handle_text,
                         std::string& error)
{
    auto handle = parse_framed_handle(handle_text);
    if (!handle) {
        error = error_body(verb, err::USAGE, "'" + handle_text + "' is not a handle (hex digits)");
        return nullptr;
    }
    jobject obj = object_for(agent, jni, *handle);
    if (!obj) error = error_body(verb, err::NOT_FOUND, "no live object has the handle " + handle_text);
    return obj;
}

uint32_t handle_for(Agent& agent, JNIEnv* jni, jobject obj, std::string* why)
{
    jvmtiEnv* env = agent.jvmti;
    jlong tag = 0;
    if (!jvmti_ok(env, env->GetTag(obj, &tag), "GetTag", why)) return 0;
    if (tag != 0) {
        if (ObjectDetails* d = agent.descriptors.descriptor_of(handle_of(tag))) {
            remember_object(agent, jni, d->handle, obj);
            d->listed_gen = agent.snapshot.generation;  // a reply names it: keep it
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
    if (!jvmti_ok(env, env->SetTag(obj, make_tag(d->handle)), "SetTag", why)) {
        agent.descriptors.free_object_descriptor(d);
        return 0;
    }
    d->listed_gen = agent.snapshot.generation;
    remember_object(agent, jni, d->handle, obj);
    return d->handle;
}
