#include "heap_roots.h"

#include "class_catalog.h"
#include "heap_reference_names.h"
#include "jvmti_check.h"
#include "records.h"
#include "scratch_env.h"

bool tag_threads(jvmtiEnv* scratch, JNIEnv* jni, ThreadList& out, std::string* why)
{
    jint n = 0;
    jthread* threads = nullptr;
    if (!jvmti_ok(scratch, scratch->GetAllThreads(&n, &threads), "GetAllThreads", why)) return false;
    if (n > 0 && jni->EnsureLocalCapacity(n + 16) != JNI_OK) jni->ExceptionClear();
    jthread self = nullptr;
    if (scratch->GetCurrentThread(&self) != JVMTI_ERROR_NONE) self = nullptr;
    for (jint i = 0; i < n; i++) {
        if (self && jni->IsSameObject(self, threads[i]))
            out.self_tag = scratch_tag::THREAD | static_cast<jlong>(out.threads.size());
        jvmtiThreadInfo info{};
        std::string name;
        if (scratch->GetThreadInfo(threads[i], &info) == JVMTI_ERROR_NONE) {
            if (info.name) {
                name = info.name;
                scratch->Deallocate(reinterpret_cast<unsigned char*>(info.name));
            }
            if (info.thread_group) jni->DeleteLocalRef(info.thread_group);
            if (info.context_class_loader) jni->DeleteLocalRef(info.context_class_loader);
        }
        scratch->SetTag(threads[i], scratch_tag::THREAD | static_cast<jlong>(out.threads.size()));
        out.threads.push_back(threads[i]);
        out.names.push_back(std::move(name));
    }
    scratch->Deallocate(reinterpret_cast<unsigned char*>(threads));
    if (self) jni->DeleteLocalRef(self);
    return true;
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

static std::string method_name(jvmtiEnv* env, jmethodID method)
{
    if (!method) return "";
    char* name = nullptr;
    if (env->GetMethodName(method, &name, nullptr, nullptr) != JVMTI_ERROR_NONE || !name) return "";
    std::string text = name;
    env->Deallocate(reinterpret_cast<unsigned char*>(name));
    jclass cls = nullptr;
    char* sig = nullptr;
    if (env->GetMethodDeclaringClass(method, &cls) == JVMTI_ERROR_NONE && cls &&
        env->GetClassSignature(cls, &sig, nullptr) == JVMTI_ERROR_NONE && sig) {
        text = java_class_name(sig) + "." + text;
        env->Deallocate(reinterpret_cast<unsigned char*>(sig));
    }
    return text;
}

void write_root(RecordWriter& w, jvmtiEnv* env, JNIEnv* jni, const RootReport& r, const ThreadList& threads,
                jobject held)
{
    std::string thread;
    if (scratch_tag::kind(r.thread_tag) == scratch_tag::THREAD && scratch_tag::index(r.thread_tag) < threads.names.size())
        thread = threads.names[scratch_tag::index(r.thread_tag)];
    if (r.kind == JVMTI_HEAP_REFERENCE_THREAD && held)
        for (size_t i = 0; i < threads.threads.size(); i++)
            if (jni->IsSameObject(threads.threads[i], held)) thread = threads.names[i];
    const char* kind = root_name(r.kind);
    w.record("root").field(kind ? kind : "other").field(thread).field(method_name(env, r.method));
}
