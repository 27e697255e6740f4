#include "fake_vm.h"

#include <cstdlib>
#include <cstring>

FakeVm& fake_of(jvmtiEnv* env) { return *reinterpret_cast<FakeVm::Jvmti*>(env)->fake; }
FakeVm& fake_of(JNIEnv* env) { return *reinterpret_cast<FakeVm::Jni*>(env)->fake; }
FakeVm& fake_of(JavaVM* vm) { return *reinterpret_cast<FakeVm::Vm*>(vm)->fake; }

namespace {

FakeClass* cls(jobject c) { return reinterpret_cast<FakeClass*>(c); }

char* copy(const std::string& text)
{
    char* out = static_cast<char*>(malloc(text.size() + 1));
    memcpy(out, text.c_str(), text.size() + 1);
    return out;
}

template <typename T>
T* array(const std::vector<T>& items)
{
    T* out = static_cast<T*>(malloc(sizeof(T) * (items.size() + 1)));
    for (size_t i = 0; i < items.size(); i++) out[i] = items[i];
    return out;
}

#define FAILS(env, call, target)                                                  \
    do {                                                                          \
        jvmtiError failure_;                                                      \
        if (fake_of(env).failing(call, target, &failure_)) return failure_;       \
    } while (0)

// JVMTI
jvmtiError JNICALL deallocate(jvmtiEnv*, unsigned char* mem)
{
    free(mem);
    return JVMTI_ERROR_NONE;
}
jvmtiError JNICALL get_error_name(jvmtiEnv*, jvmtiError err, char** name)
{
    *name = copy(err == JVMTI_ERROR_CLASS_NOT_PREPARED ? "JVMTI_ERROR_CLASS_NOT_PREPARED"
                 : err == JVMTI_ERROR_INVALID_CLASS   ? "JVMTI_ERROR_INVALID_CLASS"
                                                      : "JVMTI_ERROR_INTERNAL");
    return JVMTI_ERROR_NONE;
}
jvmtiError JNICALL add_capabilities(jvmtiEnv*, const jvmtiCapabilities*) { return JVMTI_ERROR_NONE; }
jvmtiError JNICALL get_tag(jvmtiEnv* env, jobject o, jlong* tag)
{
    FAILS(env, "GetTag", o);
    *tag = fake_of(env).tag_of(o);
    return JVMTI_ERROR_NONE;
}
jvmtiError JNICALL set_tag(jvmtiEnv* env, jobject o, jlong tag)
{
    FAILS(env, "SetTag", o);
    fake_of(env).tags[o] = tag;
    return JVMTI_ERROR_NONE;
}
jvmtiError JNICALL get_class_signature(jvmtiEnv* env, jclass c, char** sig, char** generic)
{
    FAILS(env, "GetClassSignature", c);
    if (sig) *sig = copy(cls(c)->signature);
    if (generic) *generic = nullptr;
    return JVMTI_ERROR_NONE;
}
jvmtiError JNICALL is_interface(jvmtiEnv* env, jclass c, jboolean* answer)
{
    FAILS(env, "IsInterface", c);
    *answer = cls(c)->is_interface ? JNI_TRUE : JNI_FALSE;
    return JVMTI_ERROR_NONE;
}
jvmtiError JNICALL get_implemented_interfaces(jvmtiEnv* env, jclass c, jint* n, jclass** out)
{
    FAILS(env, "GetImplementedInterfaces", c);
    std::vector<jclass> refs;
    for (FakeClass* i : cls(c)->interfaces) refs.push_back(FakeVm::ref(i));
    *n = static_cast<jint>(refs.size());
    *out = array(refs);
    return JVMTI_ERROR_NONE;
}
jvmtiError JNICALL get_class_fields(jvmtiEnv* env, jclass c, jint* n, jfieldID** out)
{
    FAILS(env, "GetClassFields", c);
    std::vector<jfieldID> ids;
    for (auto& f : cls(c)->fields) ids.push_back(reinterpret_cast<jfieldID>(f.get()));
    *n = static_cast<jint>(ids.size());
    *out = array(ids);
    return JVMTI_ERROR_NONE;
}
jvmtiError JNICALL get_field_name(jvmtiEnv* env, jclass c, jfieldID id, char** name, char** sig, char** generic)
{
    FAILS(env, "GetFieldName", c);
    auto* f = reinterpret_cast<FakeField*>(id);
    if (name) *name = copy(f->name);
    if (sig) *sig = copy(f->signature);
    if (generic) *generic = nullptr;
    return JVMTI_ERROR_NONE;
}
jvmtiError JNICALL get_field_modifiers(jvmtiEnv* env, jclass c, jfieldID id, jint* modifiers)
{
    FAILS(env, "GetFieldModifiers", c);
    *modifiers = reinterpret_cast<FakeField*>(id)->is_static ? 0x0008 : 0;
    return JVMTI_ERROR_NONE;
}
jvmtiError JNICALL get_all_threads(jvmtiEnv* env, jint* n, jthread** out)
{
    FAILS(env, "GetAllThreads", nullptr);
    std::vector<jthread> refs;
    for (auto& t : fake_of(env).threads) refs.push_back(FakeVm::ref(t.get()));
    *n = static_cast<jint>(refs.size());
    *out = array(refs);
    return JVMTI_ERROR_NONE;
}
jvmtiError JNICALL get_current_thread(jvmtiEnv* env, jthread* out)
{
    FAILS(env, "GetCurrentThread", nullptr);
    *out = fake_of(env).threads.empty() ? nullptr : FakeVm::ref(fake_of(env).threads.front().get());
    return JVMTI_ERROR_NONE;
}
jvmtiError JNICALL get_thread_info(jvmtiEnv* env, jthread t, jvmtiThreadInfo* info)
{
    FAILS(env, "GetThreadInfo", t);
    *info = jvmtiThreadInfo{};
    info->name = copy(reinterpret_cast<FakeThread*>(t)->name);
    return JVMTI_ERROR_NONE;
}

// JNI: references are the objects themselves; nothing is ever thrown.
jobject JNICALL new_ref(JNIEnv*, jobject o) { return o; }
void JNICALL delete_ref(JNIEnv*, jobject) {}
jweak JNICALL new_weak(JNIEnv*, jobject o) { return o; }
void JNICALL delete_weak(JNIEnv*, jweak) {}
jclass JNICALL get_superclass(JNIEnv*, jclass c) { return FakeVm::ref(cls(c)->super); }
jboolean JNICALL is_same_object(JNIEnv*, jobject a, jobject b) { return a == b ? JNI_TRUE : JNI_FALSE; }
jboolean JNICALL is_assignable_from(JNIEnv*, jclass, jclass) { return JNI_FALSE; }
jclass JNICALL find_class(JNIEnv*, const char*) { return nullptr; }
jfieldID JNICALL get_field_id(JNIEnv*, jclass, const char*, const char*) { return nullptr; }
void JNICALL exception_clear(JNIEnv*) {}
jboolean JNICALL exception_check(JNIEnv*) { return JNI_FALSE; }
jint JNICALL ensure_local_capacity(JNIEnv*, jint) { return JNI_OK; }

jint JNICALL get_env(JavaVM* vm, void** env, jint)
{
    *env = fake_of(vm).jvmti();
    return JNI_OK;
}

}  // namespace

FakeVm::FakeVm()
{
    tool_.Deallocate = deallocate;
    tool_.GetErrorName = get_error_name;
    tool_.AddCapabilities = add_capabilities;
    tool_.GetTag = get_tag;
    tool_.SetTag = set_tag;
    tool_.GetClassSignature = get_class_signature;
    tool_.IsInterface = is_interface;
    tool_.GetImplementedInterfaces = get_implemented_interfaces;
    tool_.GetClassFields = get_class_fields;
    tool_.GetFieldName = get_field_name;
    tool_.GetFieldModifiers = get_field_modifiers;
    tool_.GetAllThreads = get_all_threads;
    tool_.GetCurrentThread = get_current_thread;
    tool_.GetThreadInfo = get_thread_info;
    native_.NewLocalRef = new_ref;
    native_.DeleteLocalRef = delete_ref;
    native_.NewGlobalRef = new_ref;
    native_.NewWeakGlobalRef = new_weak;
    native_.DeleteWeakGlobalRef = delete_weak;
    native_.GetSuperclass = get_superclass;
    native_.IsSameObject = is_same_object;
    native_.IsAssignableFrom = is_assignable_from;
    native_.FindClass = find_class;
    native_.GetFieldID = get_field_id;
    native_.ExceptionClear = exception_clear;
    native_.ExceptionCheck = exception_check;
    native_.EnsureLocalCapacity = ensure_local_capacity;
    invoke_.GetEnv = get_env;
    vm_.vm.functions = &invoke_;
    vm_.fake = this;
    jni_.env.functions = &native_;
    jni_.fake = this;
    jvmti_.env.functions = &tool_;
    jvmti_.fake = this;
}

FakeClass* FakeVm::define(const std::string& signature, FakeClass* super, std::vector<FakeClass*> interfaces,
                          bool is_interface)
{
    classes.push_back(std::make_unique<FakeClass>());
    FakeClass* c = classes.back().get();
    c->signature = signature;
    c->super = super;
    c->interfaces = std::move(interfaces);
    c->is_interface = is_interface;
    return c;
}

void FakeVm::add_field(FakeClass* c, const std::string& name, const std::string& signature, bool is_static)
{
    c->fields.push_back(std::make_unique<FakeField>(FakeField{name, signature, is_static}));
}

FakeThread* FakeVm::start_thread(const std::string& name)
{
    threads.push_back(std::make_unique<FakeThread>(FakeThread{name}));
    return threads.back().get();
}

jlong FakeVm::tag_of(const void* object) const
{
    auto it = tags.find(object);
    return it == tags.end() ? 0 : it->second;
}

bool FakeVm::failing(const char* call, const void* target, jvmtiError* err) const
{
    auto it = failures_.find({call, target});
    if (it == failures_.end()) return false;
    *err = it->second;
    return true;
}
