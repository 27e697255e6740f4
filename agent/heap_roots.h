// Threads and GC roots as the framed replies name them: a thread by its name, a stack
// root by its thread and method.
#pragma once

#include <jni.h>
#include <jvmti.h>

#include <string>
#include <vector>

class RecordWriter;

// The live threads, tagged THREAD | position in a scratch environment, so root reports
// (and references from thread objects) say which thread they come from.
struct ThreadList {
    std::vector<jthread> threads;  // local references
    std::vector<std::string> names;
    jlong self_tag = -1;  // the agent's own thread, whose locals are the request's own
};
bool tag_threads(jvmtiEnv* scratch, JNIEnv* jni, ThreadList& out, std::string* why);

// One root reference as a walk reported it.
struct RootReport {
    jvmtiHeapReferenceKind kind = JVMTI_HEAP_REFERENCE_OTHER;
    jlong thread_tag = 0;
    jmethodID method = nullptr;
};
RootReport root_report(jvmtiHeapReferenceKind kind, const jvmtiHeapReferenceInfo* info);
// True for the locals of the agent's own thread: the request holds its objects there.
inline bool own_root(const RootReport& r, const ThreadList& threads)
{
    return r.thread_tag != 0 && r.thread_tag == threads.self_tag;
}

// "root KIND THREAD METHOD". held is the object the root holds, for thread roots.
void write_root(RecordWriter& w, jvmtiEnv* env, JNIEnv* jni, const RootReport& r, const ThreadList& threads,
                jobject held);

