#include "baseline_walks.h"

#include <chrono>
#include <cstring>

namespace {

// Tags this agent sets in its own environment; they never meet the real agent's tags.
constexpr jlong SELECTED_TAG = 0x5e1ec7ed;
constexpr jlong SIGNATURE_TAG = 0x516;
jlong next_object_tag = 1LL << 40;

int64_t now_ns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

jint JNICALL count_root(jvmtiHeapReferenceKind, const jvmtiHeapReferenceInfo*, jlong, jlong, jlong, jlong*,
                        jlong* referrer_tag_ptr, jint, void* user_data)
{
    if (!referrer_tag_ptr) ++*static_cast<int64_t*>(user_data);
    return 0;  // visit nothing beyond the roots
}

jint JNICALL count_reference(jvmtiHeapReferenceKind, const jvmtiHeapReferenceInfo*, jlong, jlong, jlong,
                             jlong*, jlong* referrer_tag_ptr, jint, void* user_data)
{
    if (referrer_tag_ptr) ++*static_cast<int64_t*>(user_data);
    return 0;  // one level only
}

jint JNICALL tag_reference(jvmtiHeapReferenceKind, const jvmtiHeapReferenceInfo*, jlong, jlong, jlong,
                           jlong* tag_ptr, jlong* referrer_tag_ptr, jint, void* user_data)
{
    if (referrer_tag_ptr) {
        ++*static_cast<int64_t*>(user_data);
        if (*tag_ptr == 0) *tag_ptr = next_object_tag++;
    }
    return 0;
}

jint JNICALL mark_selected(jvmtiHeapReferenceKind kind, const jvmtiHeapReferenceInfo*, jlong class_tag, jlong,
                           jlong, jlong* tag_ptr, jlong* referrer_tag_ptr, jint, void* user_data)
{
    bool* found = static_cast<bool*>(user_data);
    if (!referrer_tag_ptr && kind == JVMTI_HEAP_REFERENCE_JNI_GLOBAL && class_tag == SIGNATURE_TAG && !*found) {
        *tag_ptr = SELECTED_TAG;
        *found = true;
    }
    return 0;
}

}  // namespace

StepTimes prepare_and_walk_roots(jvmtiEnv* env)
{
    StepTimes t;
    int64_t start = now_ns();
    env->ForceGarbageCollection();
    int64_t gc_done = now_ns();

    jint n = 0;
    jclass* classes = nullptr;
    if (env->GetLoadedClasses(&n, &classes) != JVMTI_ERROR_NONE) n = 0;
    for (jint i = 0; i < n; i++) {
        char* sig = nullptr;
        if (env->GetClassSignature(classes[i], &sig, nullptr) == JVMTI_ERROR_NONE && sig)
            env->Deallocate(reinterpret_cast<unsigned char*>(sig));
        env->SetTag(classes[i], i + 1);
    }
    if (classes) env->Deallocate(reinterpret_cast<unsigned char*>(classes));
    int64_t classes_done = now_ns();

    jvmtiHeapCallbacks callbacks{};
    callbacks.heap_reference_callback = count_root;
    env->FollowReferences(0, nullptr, nullptr, &callbacks, &t.count);
    int64_t walk_done = now_ns();

    t.gc_ns = gc_done - start;
    t.classes_ns = classes_done - gc_done;
    t.walk_ns = walk_done - classes_done;
    t.classes = n;
    return t;
}

bool select_root(jvmtiEnv* env, const std::string& signature)
{
    jint n = 0;
    jclass* classes = nullptr;
    if (env->GetLoadedClasses(&n, &classes) != JVMTI_ERROR_NONE) return false;
    for (jint i = 0; i < n; i++) {
        char* sig = nullptr;
        if (env->GetClassSignature(classes[i], &sig, nullptr) != JVMTI_ERROR_NONE || !sig) continue;
        if (signature == sig) env->SetTag(classes[i], SIGNATURE_TAG);
        env->Deallocate(reinterpret_cast<unsigned char*>(sig));
    }
    env->Deallocate(reinterpret_cast<unsigned char*>(classes));

    bool found = false;
    jvmtiHeapCallbacks callbacks{};
    callbacks.heap_reference_callback = mark_selected;
    env->FollowReferences(0, nullptr, nullptr, &callbacks, &found);
    return found;
}

StepTimes walk_from_selected(jvmtiEnv* env, bool tag_each)
{
    StepTimes t;
    int64_t start = now_ns();
    jlong tag = SELECTED_TAG;
    jint found = 0;
    jobject* objects = nullptr;
    jlong* tags = nullptr;
    if (env->GetObjectsWithTags(1, &tag, &found, &objects, &tags) != JVMTI_ERROR_NONE) found = 0;
    jobject start_object = found == 1 ? objects[0] : nullptr;
    if (objects) env->Deallocate(reinterpret_cast<unsigned char*>(objects));
    if (tags) env->Deallocate(reinterpret_cast<unsigned char*>(tags));
    if (start_object) {
        jvmtiHeapCallbacks callbacks{};
        callbacks.heap_reference_callback = tag_each ? tag_reference : count_reference;
        env->FollowReferences(0, nullptr, start_object, &callbacks, &t.count);
    } else {
        t.count = -1;
    }
    t.walk_ns = now_ns() - start;
    return t;
}
