#include "class_catalog.h"

#ifdef VORLAN_TEST_HOOKS
#include <cstdlib>
#endif

#include "jvmti_check.h"
#include "jvmti_memory.h"
#include "records.h"
#include "tagging_env.h"

namespace {

constexpr jint ACC_STATIC = 0x0008;

}  // namespace

Status ClassCatalog::open(JavaVM* vm)
{
#ifdef VORLAN_TEST_HOOKS
    // The tests' way to an agent whose VM gives it no environment for the catalog.
    if (getenv("VORLAN_TEST_NO_CATALOG")) {
        why_closed_ = "the VM gives no JVMTI environment for the class catalog (VORLAN_TEST_NO_CATALOG)";
        return Failure{err::JVM, why_closed_};
    }
#endif
    Expected<TaggingEnv> env = TaggingEnv::open(vm, "the class catalog");
    if (!env) {
        why_closed_ = env.failure().message;
        return env.failure();
    }
    env_ = env->release();  // kept for the life of the VM
    return {};
}

Failure ClassCatalog::unavailable() const
{
    return {err::JVM, "the agent serves only the classic commands: " + why_closed_};
}

Expected<uint32_t> ClassCatalog::id_of(JNIEnv* jni, jclass cls)
{
    if (!env_) return unavailable();
    jlong tag = 0;
    if (Status got = jvmti_check(env_, env_->GetTag(cls, &tag), "GetTag"); !got) return got.failure();
    if (tag > 0 && static_cast<uint64_t>(tag) <= infos_.size()) return static_cast<uint32_t>(tag - 1);
    auto info = std::make_unique<ClassInfo>();
    info->signature = class_signature(env_, cls);
    info->name = java_class_name(info->signature);
    if (Status described = describe(jni, cls, *info); !described) return described.failure();
    info->ref = jni->NewWeakGlobalRef(cls);
    const uint32_t id = static_cast<uint32_t>(infos_.size());
    if (Status tagged = jvmti_check(env_, env_->SetTag(cls, static_cast<jlong>(id) + 1), "SetTag"); !tagged) {
        if (info->ref) jni->DeleteWeakGlobalRef(info->ref);
        return tagged.failure();
    }
    infos_.push_back(std::move(info));
    return id;
}

Status ClassCatalog::describe(JNIEnv* jni, jclass cls, ClassInfo& info)
{
    jboolean is_interface = JNI_FALSE;
    // An interface's fields are numbered apart from any class's (load_fields).
    if (Status s = jvmti_check(env_, env_->IsInterface(cls, &is_interface), "IsInterface"); !s) return s;
    info.is_interface = is_interface == JNI_TRUE;
    const std::string& sig = info.signature;
    if (sig.size() >= 2 && sig[0] == '[') {
        info.kind = sig[1] == 'L' || sig[1] == '[' ? ValueKind::ObjectArray : ValueKind::PrimitiveArray;
        return {};
    }
    if (sig == "Ljava/lang/String;") {
        info.kind = ValueKind::String;
        return {};
    }
    if (sig == "Ljava/lang/Class;") {
        info.kind = ValueKind::ClassObject;
        return {};
    }
    if (char letter = boxed_primitive(info.name)) {
        info.box = letter;
        const char type[2] = {letter, '\0'};
        info.value_field = jni->GetFieldID(cls, "value", type);
        if (info.value_field) info.kind = ValueKind::Boxed;
        else jni->ExceptionClear();
        return {};
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
    return {};
}

// Fields of every interface cls implements (or, for an interface, extends), each
// interface once, its superinterfaces included: the heap walks number a class's own
// fields after them, so one that cannot be read fails the count.
Expected<int32_t> ClassCatalog::interface_field_count(JNIEnv* jni, jclass cls, bool superinterfaces_only)
{
    std::vector<jclass> pending;  // local references, each deleted once taken
    std::vector<jclass> seen;
    auto push_interfaces = [&](jclass k) {
        jint n = 0;
        JvmtiBuffer<jclass> ifaces(env_);
        Status got = jvmti_check(env_, env_->GetImplementedInterfaces(k, &n, ifaces.out()), "GetImplementedInterfaces");
        for (jint i = 0; got && i < n; i++) pending.push_back(ifaces[static_cast<size_t>(i)]);
        return got;
    };
    Status counted;
    if (superinterfaces_only) {
        counted = push_interfaces(cls);
    } else {
        for (jclass k = static_cast<jclass>(jni->NewLocalRef(cls)); k;) {
            if (counted) counted = push_interfaces(k);
            jclass super = jni->GetSuperclass(k);
            jni->DeleteLocalRef(k);
            k = super;
        }
    }
    int32_t count = 0;
    while (!pending.empty()) {
        jclass i = pending.back();
        pending.pop_back();
        bool known = !counted;
        for (jclass s : seen) known = known || jni->IsSameObject(s, i);
        if (known) {
            jni->DeleteLocalRef(i);
            continue;
        }
        seen.push_back(i);
        jint n = 0;
        JvmtiBuffer<jfieldID> fields(env_);
        counted = jvmti_check(env_, env_->GetClassFields(i, &n, fields.out()), "GetClassFields");
        if (counted) count += n;
        if (counted) counted = push_interfaces(i);
    }
    for (jclass s : seen) jni->DeleteLocalRef(s);
    if (!counted) return counted.failure();
    return count;
}

Status ClassCatalog::load_fields(JNIEnv* jni, uint32_t id)
{
    ClassInfo& info = *infos_[id];
    if (info.fields_ready) return {};
    jclass cls = static_cast<jclass>(jni->NewLocalRef(info.ref));
    if (!cls) return Failure{err::JVM, "the class " + info.name + " has been unloaded"};
    // The chain from the class up to java.lang.Object; interfaces have only their own.
    std::vector<jclass> chain{cls};
    if (!info.is_interface)
        for (jclass s = jni->GetSuperclass(cls); s; s = jni->GetSuperclass(chain.back())) chain.push_back(s);
    std::vector<FieldEntry> fields;
    Status read;
    for (auto k = chain.rbegin(); k != chain.rend() && read; ++k) {
        if (std::next(k) == chain.rend()) info.own_begin = fields.size();
        const std::string declaring = java_class_name(class_signature(env_, *k));
        jint n = 0;
        JvmtiBuffer<jfieldID> ids(env_);
        read = jvmti_check(env_, env_->GetClassFields(*k, &n, ids.out()), "GetClassFields");
        for (jint i = 0; i < n && read; i++) {
            JvmtiBuffer<char> name(env_), sig(env_);
            jint modifiers = 0;
            read = jvmti_check(env_, env_->GetFieldName(*k, ids[static_cast<size_t>(i)], name.out(), sig.out(), nullptr),
                               "GetFieldName");
            if (read)
                read = jvmti_check(env_, env_->GetFieldModifiers(*k, ids[static_cast<size_t>(i)], &modifiers),
                                   "GetFieldModifiers");
            if (read)
                fields.push_back({name.get(), sig.get(), declaring, ids[static_cast<size_t>(i)], (modifiers & ACC_STATIC) != 0});
        }
    }
    if (read) {
        Expected<int32_t> before = interface_field_count(jni, cls, info.is_interface);
        if (before) {
            info.first_index = *before;
            info.fields = std::move(fields);
            info.fields_ready = true;
        } else {
            read = before.failure();
        }
    }
    for (jclass k : chain) jni->DeleteLocalRef(k);
    return read;
}

const FieldEntry* ClassCatalog::field_at(JNIEnv* jni, uint32_t id, int32_t index)
{
    if (id >= infos_.size() || !load_fields(jni, id)) return nullptr;
    const ClassInfo& info = *infos_[id];
    int64_t i = static_cast<int64_t>(index) - info.first_index;
    if (i < 0 || i >= static_cast<int64_t>(info.fields.size())) return nullptr;
    return &info.fields[static_cast<size_t>(i)];
}
