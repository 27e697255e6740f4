// Threads and GC roots as the framed replies name them: a thread by its name, a stack
// root by its thread and method.
#pragma once

#include <jni.h>
#include <jvmti.h>

#include <cstddef>
#include <string>
#include <vector>

#include "outcome.h"

class RecordWriter;

// The live threads, tagged THREAD | position in a scratch environment, so root reports
// (and references from thread objects) say which thread they come from.
struct ThreadList {
    static constexpr size_t NONE = static_cast<size_t>(-1);

    std::vector<jthread> threads;  // local references
    std::vector<std::string> names;
    jlong self_tag = -1;  // the agent's own thread, whose locals are the request's own

    // Where obj is in the list, or NONE.
    size_t position_of(JNIEnv* jni, jobject obj) const;
};
Status tag_threads(jvmtiEnv* scratch, JNIEnv* jni, ThreadList& out);

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

// "root KIND THREAD METHOD". held_thread: where the object the root holds is in the
// thread list (a thread root names its own thread), or ThreadList::NONE.
void write_root(RecordWriter& w, jvmtiEnv* env, JNIEnv* jni, const RootReport& r, const ThreadList& threads,
                size_t held_thread);
