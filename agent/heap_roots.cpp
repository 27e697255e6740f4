#include "heap_roots.h"

#include "class_names.h"
#include "heap_reference_names.h"
#include "jvmti_check.h"
#include "jvmti_memory.h"
#include "records.h"
#include "scratch_tags.h"

size_t ThreadList::position_of(JNIEnv* jni, jobject obj) const
{
    for (size_t i = 0; obj && i < threads.size(); i++)
        if (jni->IsSameObject(threads[i], obj)) return i;
    return NONE;
}

Status tag_threads(jvmtiEnv* scratch, JNIEnv* jni, ThreadList& out)
{
    jint n = 0;
    JvmtiBuffer<jthread> threads(scratch);
    if (Status got = jvmti_check(scratch, scratch->GetAllThreads(&n, threads.out()), "GetAllThreads"); !got) return got;
    if (n > 0 && jni->EnsureLocalCapacity(n + 16) != JNI_OK) jni->ExceptionClear();
    jthread self = nullptr;
    if (scratch->GetCurrentThread(&self) != JVMTI_ERROR_NONE) self = nullptr;
    for (jint i = 0; i < n; i++) {
        jthread thread = threads[static_cast<size_t>(i)];
        if (self && jni->IsSameObject(self, thread))
            out.self_tag = scratch_tag::THREAD | static_cast<jlong>(out.threads.size());
        jvmtiThreadInfo info{};
        std::string name;
        if (scratch->GetThreadInfo(thread, &info) == JVMTI_ERROR_NONE) {
            JvmtiBuffer<char> info_name(scratch, info.name);
            if (info_name) name = info_name.get();
            if (info.thread_group) jni->DeleteLocalRef(info.thread_group);
            if (info.context_class_loader) jni->DeleteLocalRef(info.context_class_loader);
        }
        // Untagged, the thread's roots and references would go unnamed.
        Status tagged =
            jvmti_check(scratch, scratch->SetTag(thread, scratch_tag::THREAD | static_cast<jlong>(out.threads.size())),
                        "SetTag");
        if (!tagged) {
            if (self) jni->DeleteLocalRef(self);
            return tagged;
        }
        out.threads.push_back(thread);
        out.names.push_back(std::move(name));
    }
    if (self) jni->DeleteLocalRef(self);
    return {};
}

RootReport root_report(jvmtiHeapReferenceKind kind, const jvmtiHeapReferenceInfo* info)
{
    RootReport r;
    r.kind = kind;
    if (!info) return r;
    if (kind == JVMTI_HEAP_REFERENCE_STACK_LOCAL) {
        r.thread_tag = info->stack_local.thread_tag;
        r.method = info->stack_local.method;
    } else if (kind == JVMTI_HEAP_REFERENCE_JNI_LOCAL) {
        r.thread_tag = info->jni_local.thread_tag;
        r.method = info->jni_local.method;
    }
    return r;
}

static std::string method_name(jvmtiEnv* env, JNIEnv* jni, jmethodID method)
{
    if (!method) return "";
    JvmtiBuffer<char> name(env);
    if (env->GetMethodName(method, name.out(), nullptr, nullptr) != JVMTI_ERROR_NONE || !name) return "";
    std::string text = name.get();
    jclass cls = nullptr;
    if (env->GetMethodDeclaringClass(method, &cls) == JVMTI_ERROR_NONE && cls) {
        const std::string sig = class_signature(env, cls);
        if (!sig.empty()) text = java_class_name(sig) + "." + text;
        // A local reference per row would pile up: a page has up to 100,000 of them.
        jni->DeleteLocalRef(cls);
    }
    return text;
}

void write_root(RecordWriter& w, jvmtiEnv* env, JNIEnv* jni, const RootReport& r, const ThreadList& threads,
                size_t held_thread)
{
    std::string thread;
    if (scratch_tag::kind(r.thread_tag) == scratch_tag::THREAD && scratch_tag::index(r.thread_tag) < threads.names.size())
        thread = threads.names[scratch_tag::index(r.thread_tag)];
    if (r.kind == JVMTI_HEAP_REFERENCE_THREAD && held_thread < threads.names.size()) thread = threads.names[held_thread];
    const char* kind = root_name(r.kind);
    w.record("root").field(kind ? kind : "other").field(thread).field(method_name(env, jni, r.method));
}
