#include "tagged_objects.h"

#include "jvmti_check.h"
#include "jvmti_memory.h"
#include "local_frame.h"
#include "records.h"

Expected<TaggedObjects> objects_with_tags(jvmtiEnv* env, const jlong* tags, size_t count)
{
    TaggedObjects found;
    if (count == 0) return found;
    jint n = 0;
    JvmtiBuffer<jobject> objects(env);
    JvmtiBuffer<jlong> their_tags(env);
    Status asked = jvmti_check(
        env, env->GetObjectsWithTags(static_cast<jint>(count), tags, &n, objects.out(), their_tags.out()),
        "GetObjectsWithTags");
    if (!asked) return asked.failure();
    found.objects.assign(objects.get(), objects.get() + n);
    found.tags.assign(their_tags.get(), their_tags.get() + n);
    return found;
}

Status visit_objects_with_tags(jvmtiEnv* env, JNIEnv* jni, const std::vector<jlong>& tags,
                               const std::function<Status(jobject, jlong)>& visit)
{
    if (tags.empty()) return {};
    LocalFrame frame(jni, 16);
    if (!frame.ok()) return Failure{err::JVM, "no room for local references"};
    Expected<TaggedObjects> found = objects_with_tags(env, tags.data(), tags.size());
    if (!found) return found.failure();
    const size_t n = found->objects.size();
    // Declared, or checked JNI warns. Past the VM's limit (65536 by default) the
    // declaration is refused, and the references are there all the same.
    if (jni->EnsureLocalCapacity(static_cast<jint>(n) + 16) != JNI_OK) jni->ExceptionClear();
    for (size_t i = 0; i < n; i++)
        if (Status s = visit(found->objects[i], found->tags[i]); !s) return s;
    return {};
}
