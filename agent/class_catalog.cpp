#include "class_catalog.h"

#include <cstring>
#include <unordered_set>

#include "jvmti_check.h"

namespace {

constexpr jint ACC_STATIC = 0x0008;

struct Deallocated {
    jvmtiEnv* env;
    void* p;
    ~Deallocated()
    {
        if (p) env->Deallocate(static_cast<unsigned char*>(p));
    }
};

std::string class_signature(jvmtiEnv* env, jclass cls)
{
    char* sig = nullptr;
    if (env->GetClassSignature(cls, &sig, nullptr) != JVMTI_ERROR_NONE || !sig) return "";
    Deallocated free_sig{env, sig};
    return sig;
}

}  // namespace

bool ClassCatalog::open(JavaVM* vm, std::string* why)
{
    jvmtiEnv* env = nullptr;
    if (vm->GetEnv(reinterpret_cast<void**>(&env), JVMTI_VERSION_1_2) != JNI_OK || !env) {
        if (why) *why = "the VM gives no second JVMTI environment";
        return false;
    }
    jvmtiCapabilities caps{};
    caps.can_tag_objects = 1;
    if (!jvmti_ok(env, env->AddCapabilities(&caps), "AddCapabilities", why)) {
        env->DisposeEnvironment();
        return false;
    }
    env_ = env;
    return true;
}

uint32_t ClassCatalog::id_of(JNIEnv* jni, jclass cls, std::string* why)
{
    jlong tag = 0;
    if (!jvmti_ok(env_, env_->GetTag(cls, &tag), "GetTag", why)) return UINT32_MAX;
    if (tag > 0 && static_cast<uint64_t>(tag) <= infos_.size()) return static_cast<uint32_t>(tag - 1);
    auto info = std::make_unique<ClassInfo>();
    info->signature = class_signature(env_, cls);
    info->name = java_class_name(info->signature);
    describe(jni, cls, *info);
    info->ref = jni->NewWeakGlobalRef(cls);
    const uint32_t id = static_cast<uint32_t>(infos_.size());
    if (!jvmti_ok(env_, env_->SetTag(cls, static_cast<jlong>(id) + 1), "SetTag", why)) {
        if (info->ref) jni->DeleteWeakGlobalRef(info->ref);
        return UINT32_MAX;
    }
    infos_.push_back(std::move(info));
    return id;
}

void ClassCatalog::describe(JNIEnv* jni, jclass cls, ClassInfo& info)
{
    jboolean is_interface = JNI_FALSE;
    env_->IsInterface(cls, &is_interface);
    info.is_interface = is_interface == JNI_TRUE;
    const std::string& sig = info.signature;
    if (sig.size() >= 2 && sig[0] == '[') {
        info.kind = sig[1] == 'L' || sig[1] == '[' ? ValueKind::ObjectArray : ValueKind::PrimitiveArray;
        return;
    }
    if (sig == "Ljava/lang/String;") {
        info.kind = ValueKind::String;
        return;
    }
    if (sig == "Ljava/lang/Class;") {
        info.kind = ValueKind::ClassObject;
        return;
    }
    if (char letter = boxed_primitive(info.name)) {
        info.box = letter;
        const char type[2] = {letter, '\0'};
        info.value_field = jni->GetFieldID(cls, "value", type);
        if (info.value_field) info.kind = ValueKind::Boxed;
        else jni->ExceptionClear();
        return;
    }
    auto global = [&](const char* name) {
        jclass local = jni->FindClass(name);
        if (!local) {
            jni->ExceptionClear();
            return static_cast<jclass>(nullptr);
        }
        auto g = static_cast<jclass>(jni->NewGlobalRef(local));
        jni->DeleteLocalRef(local);
        return g;
    };
    if (!reference_class_) reference_class_ = global("java/lang/ref/Reference");
    if (!enum_class_) {
        enum_class_ = global("java/lang/Enum");
        if (enum_class_) enum_name_ = jni->GetFieldID(enum_class_, "name", "Ljava/lang/String;");
        if (!enum_name_) jni->ExceptionClear();
    }
    info.is_reference = reference_class_ && jni->IsAssignableFrom(cls, reference_class_) == JNI_TRUE;
    if (!info.is_interface && enum_class_ && enum_name_ && jni->IsAssignableFrom(cls, enum_class_) == JNI_TRUE) {
        info.value_field = enum_name_;
        info.kind = ValueKind::Enum;
    }
}

// Fields of every interface cls implements (or, for an interface, extends), each
// interface once, its superinterfaces included: the heap walks number a class's own
// fields after them.
int32_t ClassCatalog::interface_field_count(JNIEnv* jni, jclass cls, bool superinterfaces_only)
{
    std::vector<jclass> pending;
    std::vector<jclass> seen;
    auto push_interfaces = [&](jclass k) {
        jint n = 0;
        jclass* ifaces = nullptr;
        if (env_->GetImplementedInterfaces(k, &n, &ifaces) != JVMTI_ERROR_NONE) return;
        for (jint i = 0; i < n; i++) pending.push_back(ifaces[i]);
        env_->Deallocate(reinterpret_cast<unsigned char*>(ifaces));
    };
    if (superinterfaces_only) {
        push_interfaces(cls);
    } else {
        for (jclass k = static_cast<jclass>(jni->NewLocalRef(cls)); k;) {
            push_interfaces(k);
            jclass super = jni->GetSuperclass(k);
            jni->DeleteLocalRef(k);
            k = super;
        }
    }
    int32_t count = 0;
    while (!pending.empty()) {
        jclass i = pending.back();
        pending.pop_back();
        bool known = false;
        for (jclass s : seen) known = known || jni->IsSameObject(s, i);
        if (known) {
            jni->DeleteLocalRef(i);
            continue;
        }
        seen.push_back(i);
        jint n = 0;
        jfieldID* fields = nullptr;
        if (env_->GetClassFields(i, &n, &fields) == JVMTI_ERROR_NONE) {
            count += n;
            env_->Deallocate(reinterpret_cast<unsigned char*>(fields));
        }
        push_interfaces(i);
    }
    for (jclass s : seen) jni->DeleteLocalRef(s);
    return count;
}

bool ClassCatalog::load_fields(JNIEnv* jni, uint32_t id, std::string* why)
{
    ClassInfo& info = *infos_[id];
    if (info.fields_ready) return true;
    jclass cls = static_cast<jclass>(jni->NewLocalRef(info.ref));
    if (!cls) {
        if (why) *why = "the class " + info.name + " has been unloaded";
        return false;
    }
    // The chain from the class up to java.lang.Object; interfaces have only their own.
    std::vector<jclass> chain{cls};
    if (!info.is_interface)
        for (jclass s = jni->GetSuperclass(cls); s; s = jni->GetSuperclass(chain.back())) chain.push_back(s);
    std::vector<FieldEntry> fields;
    bool ok = true;
    for (auto k = chain.rbegin(); k != chain.rend() && ok; ++k) {
        if (std::next(k) == chain.rend()) info.own_begin = fields.size();
        const std::string declaring = java_class_name(class_signature(env_, *k));
        jint n = 0;
        jfieldID* ids = nullptr;
        if (!jvmti_ok(env_, env_->GetClassFields(*k, &n, &ids), "GetClassFields", why)) {
            ok = false;
            break;
        }
        Deallocated free_ids{env_, ids};
        for (jint i = 0; i < n && ok; i++) {
            char* name = nullptr;
            char* sig = nullptr;
            jint modifiers = 0;
            if (!jvmti_ok(env_, env_->GetFieldName(*k, ids[i], &name, &sig, nullptr), "GetFieldName", why) ||
                !jvmti_ok(env_, env_->GetFieldModifiers(*k, ids[i], &modifiers), "GetFieldModifiers", why)) {
                ok = false;
                if (name) env_->Deallocate(reinterpret_cast<unsigned char*>(name));
                if (sig) env_->Deallocate(reinterpret_cast<unsigned char*>(sig));
                break;
            }
            fields.push_back({name, sig, declaring, ids[i], (modifiers & ACC_STATIC) != 0});
            env_->Deallocate(reinterpret_cast<unsigned char*>(name));
            env_->Deallocate(reinterpret_cast<unsigned char*>(sig));
        }
    }
    if (ok) {
        info.first_index = interface_field_count(jni, cls, info.is_interface);
        info.fields = std::move(fields);
        info.fields_ready = true;
    }
    for (jclass k : chain) jni->DeleteLocalRef(k);
    return ok;
}

const FieldEntry* ClassCatalog::field_at(JNIEnv* jni, uint32_t id, int32_t index)
{
    if (id >= infos_.size() || !load_fields(jni, id, nullptr)) return nullptr;
    const ClassInfo& info = *infos_[id];
    int64_t i = static_cast<int64_t>(index) - info.first_index;
    if (i < 0 || i >= static_cast<int64_t>(info.fields.size())) return nullptr;
    return &info.fields[static_cast<size_t>(i)];
}

void ClassCatalog::forget_unloaded(JNIEnv* jni)
{
    for (auto& info : infos_) {
        if (!info->ref || !jni->IsSameObject(info->ref, nullptr)) continue;
        jni->DeleteWeakGlobalRef(info->ref);
        info->ref = nullptr;
        info->fields.clear();
        info->fields.shrink_to_fit();
        info->fields_ready = false;
    }
}
