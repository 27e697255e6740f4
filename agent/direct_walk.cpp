#include "direct_walk.h"

#include <string_view>
#include <vector>

#include "agent_state.h"
#include "jvmti_check.h"
#include "jvmti_memory.h"
#include "object_lookup.h"
#include "walk_callbacks.h"

namespace {

constexpr jint STATIC_MODIFIER = 0x0008;

bool is_reference_signature(const char* sig) { return sig && (sig[0] == 'L' || sig[0] == '['); }

FieldPlan make_plan(jvmtiEnv* env, JNIEnv* jni, jclass cls)
{
    FieldPlan plan;
    jclass reference = jni->FindClass("java/lang/ref/Reference");
    if (!reference) {
        jni->ExceptionClear();
        return plan;
    }
    bool is_reference = jni->IsAssignableFrom(cls, reference);
    jni->DeleteLocalRef(reference);
    if (is_reference) return plan;  // the referent gets special treatment in heap walks

    jclass k = static_cast<jclass>(jni->NewLocalRef(cls));
    while (k) {
        jint count = 0;
        JvmtiBuffer<jfieldID> fields(env);
        if (env->GetClassFields(k, &count, fields.out()) != JVMTI_ERROR_NONE) {
            jni->DeleteLocalRef(k);
            return FieldPlan{};
        }
        for (jint i = count - 1; i >= 0; i--) {
            jint modifiers = 0;
            JvmtiBuffer<char> sig(env);
            if (env->GetFieldModifiers(k, fields[static_cast<size_t>(i)], &modifiers) != JVMTI_ERROR_NONE ||
                env->GetFieldName(k, fields[static_cast<size_t>(i)], nullptr, sig.out(), nullptr) != JVMTI_ERROR_NONE) {
                jni->DeleteLocalRef(k);
                return FieldPlan{};
            }
            if (!(modifiers & STATIC_MODIFIER) && is_reference_signature(sig.get()))
                plan.fields.push_back(fields[static_cast<size_t>(i)]);
        }
        jclass super = jni->GetSuperclass(k);
        jni->DeleteLocalRef(k);
        k = super;
    }
    plan.eligible = true;
    return plan;
}

// The class tag of the last referee's class, so that fields of one type cost one class
// lookup in all.
struct ClassCache {
    jclass cls = nullptr;
    jlong tag = 0;
};

// One reference, reported as the heap walk's callback would see it. False when the VM
// refuses a call: the caller takes the heap walk instead.
bool report(jvmtiEnv* env, JNIEnv* jni, jvmtiObjectReferenceKind kind, jobject referee, jlong referrer_tag,
            WalkContext* ctx, ClassCache& classes)
{
    jclass referee_class = jni->GetObjectClass(referee);
    if (!classes.cls || !jni->IsSameObject(classes.cls, referee_class)) {
        if (classes.cls) jni->DeleteLocalRef(classes.cls);
        classes.cls = referee_class;
        if (!jvmti_ok_or_report(env, env->GetTag(referee_class, &classes.tag), "GetTag")) return false;
    } else {
        jni->DeleteLocalRef(referee_class);
    }
    jlong tag = 0, size = 0;
    if (!jvmti_ok_or_report(env, env->GetTag(referee, &tag), "GetTag") ||
        !jvmti_ok_or_report(env, env->GetObjectSize(referee, &size), "GetObjectSize"))
        return false;
    const jlong before = tag;
    object_ref_callback(kind, classes.tag, size, &tag, referrer_tag, -1, ctx);
    if (tag != before && !jvmti_ok_or_report(env, env->SetTag(referee, tag), "SetTag")) return false;
    // The object is at hand: kept for the next lookup of its handle.
    if (tag != 0) remember_object(*ctx->agent, jni, handle_of(tag), referee);
    return true;
}

}  // namespace

bool choose_direct_walk(jvmtiEnv* env)
{
    jint version = 0;
    if (env->GetVersionNumber(&version) != JVMTI_ERROR_NONE) return false;
    jint major = (version & JVMTI_VERSION_MASK_MAJOR) >> JVMTI_VERSION_SHIFT_MAJOR;
    // Only where the order has been checked against the heap walk and the heap walk is
    // slow; later VMs walk one level in microseconds and report fields in class-file order.
    return major == 17;
}

bool walk_fields_directly(Agent& agent, JNIEnv* jni, jobject object, ObjectDetails* start)
{
    jvmtiEnv* env = agent.jvmti;
    if (!agent.direct_walk || !jni || !object || !start) return false;
    if (jni->PushLocalFrame(16) != JNI_OK) {
        jni->ExceptionClear();
        return false;
    }
    bool walked = false;
    jclass cls = jni->GetObjectClass(object);
    jlong class_tag = 0;
    // Without the class's tag the object is no known plain instance: the heap walk answers.
    if (!jvmti_ok_or_report(env, env->GetTag(cls, &class_tag), "GetTag")) class_tag = 0;
    const ObjectDetails* c = agent.descriptors.descriptor_of(handle_of(class_tag));
    // Plain instances only: arrays and class objects have references of other kinds.
    if (c && agent.descriptors.is_class_descriptor(c) && c->signature && c->signature[0] == 'L' &&
        std::string_view(c->signature) != "Ljava/lang/Class;") {
        auto& plans = agent.snapshot.field_plans;
        auto found = plans.find(c);
        if (found == plans.end()) found = plans.emplace(c, make_plan(env, jni, cls)).first;
        const FieldPlan& plan = found->second;
        if (plan.eligible) {
            WalkContext ctx{&agent, start};
            ClassCache classes;
            const jlong referrer_tag = make_tag(start->handle);
            walked = report(env, jni, JVMTI_REFERENCE_CLASS, cls, referrer_tag, &ctx, classes);
            for (jfieldID field : plan.fields) {
                if (!walked) break;
                jobject value = jni->GetObjectField(object, field);
                if (!value) continue;
                walked = report(env, jni, JVMTI_REFERENCE_FIELD, value, referrer_tag, &ctx, classes);
                jni->DeleteLocalRef(value);
            }
        }
    }
    jni->PopLocalFrame(nullptr);
    return walked;
}
