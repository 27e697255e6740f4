#include "baseline_heap_walks.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr jlong TARGET_TAG = 0x7a76e7;
constexpr jlong ROOT_CLASS_TAG = 0x7a76e8;
constexpr jlong ROOT_TAG = 0x7a76e9;
constexpr jlong ROOT_HELD_TAG = 0x7a76eb;

int64_t now_ns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string pairs(std::initializer_list<std::pair<const char*, int64_t>> items)
{
    std::string out;
    char buf[64];
    for (const auto& [key, value] : items) {
        snprintf(buf, sizeof buf, "%s%s=%lld", out.empty() ? "" : " ", key, static_cast<long long>(value));
        out += buf;
    }
    return out + "\n";
}

std::string error_reply(const char* what) { return std::string("error=") + what + "\n"; }

struct Histogram {
    std::vector<int64_t> instances, bytes;  // by class tag; slot 0: classes met untagged
};

jint JNICALL count_by_class(jlong class_tag, jlong size, jlong*, jint, void* user_data)
{
    auto* h = static_cast<Histogram*>(user_data);
    size_t slot = class_tag > 0 && static_cast<size_t>(class_tag) < h->instances.size() ? static_cast<size_t>(class_tag) : 0;
    h->instances[slot]++;
    h->bytes[slot] += size;
    return 0;
}

struct TargetWalk {
    int64_t referrers = 0, roots = 0, calls = 0;
};

jint JNICALL count_target_references(jvmtiHeapReferenceKind, const jvmtiHeapReferenceInfo*, jlong, jlong, jlong,
                                     jlong* tag_ptr, jlong* referrer_tag_ptr, jint, void* user_data)
{
    auto* w = static_cast<TargetWalk*>(user_data);
    w->calls++;
    if (*tag_ptr == TARGET_TAG) ++(referrer_tag_ptr ? w->referrers : w->roots);
    return JVMTI_VISIT_OBJECTS;
}

jint JNICALL count_every_reference(jvmtiHeapReferenceKind, const jvmtiHeapReferenceInfo*, jlong, jlong, jlong,
                                   jlong*, jlong* referrer_tag_ptr, jint, void* user_data)
{
    auto* w = static_cast<TargetWalk*>(user_data);
    w->calls++;
    if (!referrer_tag_ptr) w->roots++;
    return JVMTI_VISIT_OBJECTS;
}

jint JNICALL tag_root_held(jvmtiHeapReferenceKind, const jvmtiHeapReferenceInfo*, jlong, jlong, jlong,
                           jlong* tag_ptr, jlong* referrer_tag_ptr, jint, void* user_data)
{
    auto* w = static_cast<TargetWalk*>(user_data);
    w->calls++;
    if (!referrer_tag_ptr && *tag_ptr == 0) {
        *tag_ptr = ROOT_HELD_TAG;
        w->roots++;
    }
    return JVMTI_VISIT_OBJECTS;
}

jint JNICALL untag(jlong, jlong, jlong* tag_ptr, jint, void* user_data)
{
    *tag_ptr = 0;
    ++*static_cast<int64_t*>(user_data);
    return 0;
}

jint JNICALL count_instance(jlong, jlong, jlong*, jint, void* user_data)
{
    ++*static_cast<int64_t*>(user_data);
    return 0;
}

jint JNICALL mark_root(jvmtiHeapReferenceKind kind, const jvmtiHeapReferenceInfo*, jlong class_tag, jlong, jlong,
                       jlong* tag_ptr, jlong* referrer_tag_ptr, jint, void* user_data)
{
    bool* found = static_cast<bool*>(user_data);
    if (!referrer_tag_ptr && kind == JVMTI_HEAP_REFERENCE_JNI_GLOBAL && class_tag == ROOT_CLASS_TAG && !*found) {
        *tag_ptr = ROOT_TAG;
        *found = true;
    }
    return 0;
}

// Every loaded class whose signature is wanted gets tag; returns how many, or -1.
int tag_classes(jvmtiEnv* env, JNIEnv* jni, const std::string& wanted, jlong tag)
{
    jint n = 0;
    jclass* classes = nullptr;
    if (env->GetLoadedClasses(&n, &classes) != JVMTI_ERROR_NONE) return -1;
    int tagged = 0;
    for (jint i = 0; i < n; i++) {
        char* sig = nullptr;
        if (env->GetClassSignature(classes[i], &sig, nullptr) == JVMTI_ERROR_NONE && sig) {
            if (wanted == sig && env->SetTag(classes[i], tag) == JVMTI_ERROR_NONE) tagged++;
            env->Deallocate(reinterpret_cast<unsigned char*>(sig));
        }
        if (jni) jni->DeleteLocalRef(classes[i]);
    }
    env->Deallocate(reinterpret_cast<unsigned char*>(classes));
    return tagged;
}

// Takes tag off every object carrying it.
void untag_all(jvmtiEnv* env, jlong tag)
{
    jint count = 0;
    jobject* objects = nullptr;
    if (env->GetObjectsWithTags(1, &tag, &count, &objects, nullptr) != JVMTI_ERROR_NONE) return;
    for (jint i = 0; i < count; i++) env->SetTag(objects[i], 0);
    env->Deallocate(reinterpret_cast<unsigned char*>(objects));
}

// The reference field of this name in obj's class or a superclass.
jobject field_value(jvmtiEnv* env, JNIEnv* jni, jobject obj, const std::string& name)
{
    for (jclass k = jni->GetObjectClass(obj); k;) {
        jint count = 0;
        jfieldID* fields = nullptr;
        jobject value = nullptr;
        bool found = false;
        if (env->GetClassFields(k, &count, &fields) == JVMTI_ERROR_NONE) {
            for (jint i = 0; i < count && !found; i++) {
                char *fname = nullptr, *sig = nullptr;
                jint modifiers = 0;
                if (env->GetFieldName(k, fields[i], &fname, &sig, nullptr) != JVMTI_ERROR_NONE) continue;
                env->GetFieldModifiers(k, fields[i], &modifiers);
                if (name == fname && !(modifiers & 0x0008) && (sig[0] == 'L' || sig[0] == '[')) {
                    found = true;
                    value = jni->GetObjectField(obj, fields[i]);
                }
                env->Deallocate(reinterpret_cast<unsigned char*>(fname));
                env->Deallocate(reinterpret_cast<unsigned char*>(sig));
            }
            env->Deallocate(reinterpret_cast<unsigned char*>(fields));
        }
        if (found) {
            jni->DeleteLocalRef(k);
            return value;
        }
        jclass super = jni->GetSuperclass(k);
        jni->DeleteLocalRef(k);
        k = super;
    }
    return nullptr;
}

}  // namespace

std::string heap_histogram(jvmtiEnv* env)
{
    const int64_t start = now_ns();
    if (env->ForceGarbageCollection() != JVMTI_ERROR_NONE) return error_reply("gc");
    const int64_t gc_done = now_ns();
    jint n = 0;
    jclass* classes = nullptr;
    if (env->GetLoadedClasses(&n, &classes) != JVMTI_ERROR_NONE) return error_reply("classes");
    for (jint i = 0; i < n; i++) env->SetTag(classes[i], i + 1);
    const int64_t tagged = now_ns();

    Histogram h;
    h.instances.assign(static_cast<size_t>(n) + 1, 0);
    h.bytes.assign(static_cast<size_t>(n) + 1, 0);
    jvmtiHeapCallbacks callbacks{};
    callbacks.heap_iteration_callback = count_by_class;
    jvmtiError e = env->IterateThroughHeap(0, nullptr, &callbacks, &h);
    const int64_t walked = now_ns();

    std::string rows;
    int64_t total = 0, bytes = 0, met = 0;
    for (jint i = 0; i < n; i++) {
        const size_t slot = static_cast<size_t>(i) + 1;
        if (h.instances[slot] > 0) {
            char* sig = nullptr;
            if (env->GetClassSignature(classes[i], &sig, nullptr) == JVMTI_ERROR_NONE && sig) {
                rows += std::string(sig) + " " + std::to_string(h.instances[slot]) + " " + std::to_string(h.bytes[slot]) + "\n";
                env->Deallocate(reinterpret_cast<unsigned char*>(sig));
            }
            met++;
        }
        total += h.instances[slot];
        bytes += h.bytes[slot];
        env->SetTag(classes[i], 0);
    }
    if (h.instances[0] > 0) rows += "(untagged) " + std::to_string(h.instances[0]) + " " + std::to_string(h.bytes[0]) + "\n";
    env->Deallocate(reinterpret_cast<unsigned char*>(classes));
    if (e != JVMTI_ERROR_NONE) return error_reply("iterate");
    return pairs({{"gc_ns", gc_done - start},
                  {"tag_ns", tagged - gc_done},
                  {"walk_ns", walked - tagged},
                  {"count", total + h.instances[0]},
                  {"bytes", bytes + h.bytes[0]},
                  {"classes", met},
                  {"untagged", h.instances[0]}}) +
           rows;
}

std::string select_target(jvmtiEnv* env, JNIEnv* jni, const std::string& root_signature,
                          const std::vector<std::string>& steps)
{
    untag_all(env, TARGET_TAG);
    if (tag_classes(env, jni, root_signature, ROOT_CLASS_TAG) < 1) return error_reply("root-class");
    bool found = false;
    jvmtiHeapCallbacks callbacks{};
    callbacks.heap_reference_callback = mark_root;
    env->FollowReferences(0, nullptr, nullptr, &callbacks, &found);
    untag_all(env, ROOT_CLASS_TAG);
    if (!found) return error_reply("root");
    jint count = 0;
    jobject* objects = nullptr;
    jlong tag = ROOT_TAG;
    if (env->GetObjectsWithTags(1, &tag, &count, &objects, nullptr) != JVMTI_ERROR_NONE || count < 1)
        return error_reply("root-object");
    jobject obj = objects[0];
    env->SetTag(obj, 0);
    env->Deallocate(reinterpret_cast<unsigned char*>(objects));
    for (const std::string& step : steps) {
        jobject next = nullptr;
        if (step.size() > 2 && step.front() == '[' && step.back() == ']')
            next = jni->GetObjectArrayElement(static_cast<jobjectArray>(obj), static_cast<jsize>(atol(step.c_str() + 1)));
        else
            next = field_value(env, jni, obj, step);
        jni->ExceptionClear();
        jni->DeleteLocalRef(obj);
        if (!next) return error_reply("step");
        obj = next;
    }
    jlong size = 0;
    env->GetObjectSize(obj, &size);
    env->SetTag(obj, TARGET_TAG);
    jclass cls = jni->GetObjectClass(obj);
    char* sig = nullptr;
    std::string type = "?";
    if (env->GetClassSignature(cls, &sig, nullptr) == JVMTI_ERROR_NONE && sig) {
        type = sig;
        env->Deallocate(reinterpret_cast<unsigned char*>(sig));
    }
    jni->DeleteLocalRef(cls);
    jni->DeleteLocalRef(obj);
    return pairs({{"found", 1}, {"size", size}}) + type + "\n";
}

std::string walk_to_target(jvmtiEnv* env)
{
    TargetWalk w;
    jvmtiHeapCallbacks callbacks{};
    callbacks.heap_reference_callback = count_target_references;
    const int64_t start = now_ns();
    jvmtiError e = env->FollowReferences(JVMTI_HEAP_FILTER_UNTAGGED, nullptr, nullptr, &callbacks, &w);
    const int64_t done = now_ns();
    if (e != JVMTI_ERROR_NONE) return error_reply("follow");
    return pairs({{"walk_ns", done - start}, {"count", w.referrers}, {"roots", w.roots}, {"calls", w.calls}});
}

std::string walk_to_target_roots_tagged(jvmtiEnv* env)
{
    TargetWalk first, w;
    jvmtiHeapCallbacks callbacks{};
    callbacks.heap_reference_callback = tag_root_held;
    const int64_t start = now_ns();
    jvmtiError e = env->FollowReferences(0, nullptr, nullptr, &callbacks, &first);
    const int64_t tagged = now_ns();
    callbacks.heap_reference_callback = count_target_references;
    if (e == JVMTI_ERROR_NONE) e = env->FollowReferences(JVMTI_HEAP_FILTER_UNTAGGED, nullptr, nullptr, &callbacks, &w);
    const int64_t done = now_ns();
    untag_all(env, ROOT_HELD_TAG);
    if (e != JVMTI_ERROR_NONE) return error_reply("follow");
    return pairs({{"first_ns", tagged - start},
                  {"walk_ns", done - tagged},
                  {"count", w.referrers},
                  {"roots_tagged", first.roots},
                  {"calls", w.calls}});
}

std::string walk_everything(jvmtiEnv* env)
{
    TargetWalk w;
    jvmtiHeapCallbacks callbacks{};
    callbacks.heap_reference_callback = count_every_reference;
    const int64_t start = now_ns();
    jvmtiError e = env->FollowReferences(0, nullptr, nullptr, &callbacks, &w);
    const int64_t done = now_ns();
    if (e != JVMTI_ERROR_NONE) return error_reply("follow");
    return pairs({{"walk_ns", done - start}, {"count", w.calls}, {"roots", w.roots}});
}

std::string untag_everything(jvmtiEnv* env)
{
    int64_t count = 0;
    jvmtiHeapCallbacks callbacks{};
    callbacks.heap_iteration_callback = untag;
    const int64_t start = now_ns();
    jvmtiError e = env->IterateThroughHeap(JVMTI_HEAP_FILTER_UNTAGGED, nullptr, &callbacks, &count);
    const int64_t done = now_ns();
    if (e != JVMTI_ERROR_NONE) return error_reply("iterate");
    return pairs({{"walk_ns", done - start}, {"count", count}});
}

std::string count_instances(jvmtiEnv* env, JNIEnv* jni, const std::string& signature)
{
    constexpr jlong WANTED = 0x7a76ea;
    const int64_t start = now_ns();
    const int classes = tag_classes(env, jni, signature, WANTED);
    const int64_t tagged = now_ns();
    if (classes < 1) return error_reply("class");
    env->ForceGarbageCollection();
    const int64_t gc_done = now_ns();
    int64_t count = 0;
    jvmtiHeapCallbacks callbacks{};
    callbacks.heap_iteration_callback = count_instance;
    jvmtiError e = env->IterateThroughHeap(JVMTI_HEAP_FILTER_CLASS_UNTAGGED, nullptr, &callbacks, &count);
    const int64_t walked = now_ns();
    untag_all(env, WANTED);
    if (e != JVMTI_ERROR_NONE) return error_reply("iterate");
    return pairs({{"classes_ns", tagged - start},
                  {"gc_ns", gc_done - tagged},
                  {"walk_ns", walked - gc_done},
                  {"count", count},
                  {"classes", classes}});
}
