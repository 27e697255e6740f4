#include "object_binding.h"

#include <cstdio>

#include "agent_state.h"
#include "jvmti_check.h"
#include "jvmti_memory.h"
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

Expected<jobject> requested_object(Agent& agent, JNIEnv* jni, const std::string& handle_text)
{
    auto handle = parse_framed_handle(handle_text);
    if (!handle) return Failure{err::USAGE, "'" + handle_text + "' is not a handle (hex digits)"};
    jobject obj = object_for(agent, jni, *handle);
    if (!obj) return Failure{err::NOT_FOUND, "no live object has the handle " + handle_text};
    return obj;
}

Expected<uint32_t> handle_for(Agent& agent, JNIEnv* jni, jobject obj)
{
    jvmtiEnv* env = agent.jvmti;
    jlong tag = 0;
    if (Status got = jvmti_check(env, env->GetTag(obj, &tag), "GetTag"); !got) return got.failure();
    if (tag != 0) {
        if (ObjectDetails* d = agent.descriptors.descriptor_of(handle_of(tag))) {
            remember_object(agent, jni, d->handle, obj);
            d->listed_gen = agent.snapshot.generation;  // a reply names it: keep it
            return d->handle;
        }
    }
    // Untagged, or tagged by a class table that is gone: a new object descriptor.
    ObjectDetails* d = agent.descriptors.new_object_descriptor();
    if (!d) return Failure{err::JVM, "the agent has given out every object handle"};
    jclass cls = jni->GetObjectClass(obj);
    d->signature = agent.descriptors.intern_signature(cls ? class_signature(env, cls).c_str() : "");
    if (cls) jni->DeleteLocalRef(cls);
    if (Status tagged = jvmti_check(env, env->SetTag(obj, make_tag(d->handle)), "SetTag"); !tagged) {
        agent.descriptors.free_object_descriptor(d);
        return tagged.failure();
    }
    d->listed_gen = agent.snapshot.generation;
    remember_object(agent, jni, d->handle, obj);
    return d->handle;
}
