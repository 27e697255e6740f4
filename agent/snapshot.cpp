#include "snapshot.h"

#include "agent_state.h"
#include "jvmti_check.h"
#include "jvmti_memory.h"
#include "loaded_classes.h"
#include "stopwatch.h"

void release_reply(Agent& agent) { agent.snapshot.reply.clear(); }

void prepareSnapshot(Agent& agent, JNIEnv* jni)
{
    Snapshot& s = agent.snapshot;
    jvmtiEnv* env = agent.jvmti;
    free_root_objects(s.roots);
    s.generation++;
    Stopwatch gc;
    jvmti_ok_or_report(env, env->ForceGarbageCollection(), "ForceGarbageCollection");
    report_pause("the collection of \"p\"", gc.ms());

    trace("GetLoadedClasses\n");
    LoadedClasses classes(env, jni);
    trace("err=%d\n", classes.error());
    jvmti_ok_or_report(env, classes.error(), "GetLoadedClasses");
    const jint n = classes.size();

    ObjectDetails* details = agent.descriptors.new_class_table(static_cast<size_t>(n));
    trace("details=%d\n", static_cast<int>(addr32(details)));
    trace("count=%d\n", n);

    s.class_refs.assign(static_cast<size_t>(n), nullptr);
    bool tag_failed = false;
    for (jint i = 0; i < n; i++) {
        details[i].signature = agent.descriptors.intern_signature(class_signature(env, classes[i]).c_str());
        // One report for the whole table: a failing SetTag fails for every class alike.
        jvmtiError tag_err = env->SetTag(classes[i], make_tag(details[i].handle));
        if (tag_err != JVMTI_ERROR_NONE && !tag_failed) tag_failed = !jvmti_ok_or_report(env, tag_err, "SetTag");
        // The array's references end with this attach: weak globals outlive it without
        // holding the classes as roots.
        s.class_refs[i] = jni ? jni->NewWeakGlobalRef(classes[i]) : nullptr;
    }
}

void releaseSnapshot(Agent& agent, JNIEnv* jni)
{
    Snapshot& s = agent.snapshot;
    jvmtiEnv* env = agent.jvmti;
    trace("UnSetTag\n");
    // A class left tagged names a class descriptor of a table that is gone, which names
    // nothing; one report for the whole table says so.
    bool untag_failed = false;
    for (jweak w : s.class_refs) {
        if (!w || !jni) continue;
        jobject cls = jni->NewLocalRef(w);  // null once the class has been unloaded
        if (!cls) continue;
        jvmtiError err = env->SetTag(cls, 0);
        if (err != JVMTI_ERROR_NONE && !untag_failed) untag_failed = !jvmti_ok_or_report(env, err, "SetTag");
        jni->DeleteLocalRef(cls);
    }
    trace("Deallocate\n");
    for (jweak w : s.class_refs)
        if (w && jni) jni->DeleteWeakGlobalRef(w);
    s.class_refs.clear();
    trace("free signature\n");
    trace("free details\n");
    s.field_plans.clear();
    agent.descriptors.free_class_table();
    trace("END\n");
    trace_flush();
    if (jni) jni->ExceptionClear();
}
