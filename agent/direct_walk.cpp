#include "direct_walk.h"

#include <string_view>
#include <unordered_map>
#include <vector>

#include "snapshot.h"

namespace {

bool chosen = false;

constexpr jint ACC_STATIC = 0x0008;

// The reference fields of a class and its superclasses in the order the heap walk
// reports them; empty plan with eligible == false: take the heap walk.
struct FieldPlan {
    bool eligible = false;
    std::vector<jfieldID> fields;
};

std::unordered_map<const ObjectDetails*, FieldPlan>& plans()
{
    static std::unordered_map<const ObjectDetails*, FieldPlan> p;
    return p;
}

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
        jfieldID* fields = nullptr;
        if (env->GetClassFields(k, &count, &fields) != JVMTI_ERROR_NONE) {
            jni->DeleteLocalRef(k);
            return FieldPlan{};
        }
        for (jint i = count - 1; i >= 0; i--) {
            jint modifiers = 0;
            char* sig = nullptr;
            if (env->GetFieldModifiers(k, fields[i], &modifiers) != JVMTI_ERROR_NONE ||
                env->GetFieldName(k, fields[i], nullptr, &sig, nullptr) != JVMTI_ERROR_NONE) {
                env->Deallocate(reinterpret_cast<unsigned char*>(fields));
                jni->DeleteLocalRef(k);
                return FieldPlan{};
            }
            if (!(modifiers & ACC_STATIC) && is_reference_signature(sig)) plan.fields.push_back(fields[i]);
            env->Deallocate(reinterpret_cast<unsigned char*>(sig));
        }
        env->Deallocate(reinterpret_cast<unsigned char*>(fields));
        jclass super = jni->GetSuperclass(k);
        jni->DeleteLocalRef(k);
        k = super;
    }
    plan.eligible = true;
    return plan;
}

// One reference, reported as the heap walk's callback would see it.
void report(jvmtiEnv* env, JNIEnv* jni, jvmtiObjectReferenceKind kind, jobject referee, jlong referrer_tag,
            ObjectDetails* start)
{
    jclass referee_class = jni->GetObjectClass(referee);
    jlong class_tag = 0, tag = 0, size = 0;
    env->GetTag(referee_class, &class_tag);
    jni->DeleteLocalRef(referee_class);
    env->GetTag(referee, &tag);
    env->GetObjectSize(referee, &size);
    const jlong before = tag;
    object_ref_callback(kind, class_tag, size, &tag, referrer_tag, -1, start);
    if (tag != before) env->SetTag(referee, tag);
}

}  // namespace

void choose_direct_walk(jvmtiEnv* env)
{
    jint version = 0;
    if (env->GetVersionNumber(&version) != JVMTI_ERROR_NONE) return;
    jint major = (version & JVMTI_VERSION_MASK_MAJOR) >> JVMTI_VERSION_SHIFT_MAJOR;
    // Only where the order has been checked against the heap walk and the heap walk is
    // slow; later VMs walk one level in microseconds and report fields in class-file order.
    chosen = major == 17;
}

void forget_field_plans() { plans().clear(); }

bool walk_fields_directly(jvmtiEnv* env, JNIEnv* jni, jobject object, ObjectDetails* start)
{
    if (!chosen || !jni || !object || !start) return false;
    if (jni->PushLocalFrame(16) != JNI_OK) {
        jni->ExceptionClear();
        return false;
    }
    bool walked = false;
    jclass cls = jni->GetObjectClass(object);
    jlong class_tag = 0;
    env->GetTag(cls, &class_tag);
    const ObjectDetails* c = descriptor_of(handle_of(class_tag));
    // Plain instances only: arrays and class objects have references of other kinds.
    if (c && is_class_descriptor(c) && c->signature && c->signature[0] == 'L' &&
        std::string_view(c->signature) != "Ljava/lang/Class;") {
        auto found = plans().find(c);
        if (found == plans().end()) found = plans().emplace(c, make_plan(env, jni, cls)).first;
        const FieldPlan& plan = found->second;
        if (plan.eligible) {
            const jlong referrer_tag = make_tag(start->handle);
            report(env, jni, JVMTI_REFERENCE_CLASS, cls, referrer_tag, start);
            for (jfieldID field : plan.fields) {
                jobject value = jni->GetObjectField(object, field);
                if (!value) continue;
                report(env, jni, JVMTI_REFERENCE_FIELD, value, referrer_tag, start);
                jni->DeleteLocalRef(value);
            }
            walked = true;
        }
    }
    jni->PopLocalFrame(nullptr);
    return walked;
}
