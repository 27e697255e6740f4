#include "scratch_env.h"

#include <chrono>

#include "jvmti_check.h"

ScratchEnv::ScratchEnv(JavaVM* vm)
{
    jvmtiEnv* env = nullptr;
    if (vm->GetEnv(reinterpret_cast<void**>(&env), JVMTI_VERSION_1_2) != JNI_OK || !env) {
        error_ = "the VM gives no JVMTI environment for the walk";
        return;
    }
    jvmtiCapabilities caps{};
    caps.can_tag_objects = 1;
    if (!jvmti_ok(env, env->AddCapabilities(&caps), "AddCapabilities", &error_)) {
        env->DisposeEnvironment();
        return;
    }
    env_ = env;
}

ScratchEnv::~ScratchEnv()
{
    if (env_) env_->DisposeEnvironment();
}

bool tag_loaded_classes(ClassCatalog& catalog, JNIEnv* jni, jvmtiEnv* scratch, const std::vector<bool>* wanted,
                        std::vector<uint32_t>* ids, std::string* why)
{
    jint n = 0;
    jclass* classes = nullptr;
    if (!jvmti_ok(scratch, scratch->GetLoadedClasses(&n, &classes), "GetLoadedClasses", why)) return false;
    // The array came as n local references in this frame.
    if (n > 0 && jni->EnsureLocalCapacity(n + 16) != JNI_OK) jni->ExceptionClear();
    bool ok = true;
    if (ids) ids->clear();
    for (jint i = 0; i < n; i++) {
        if (ok) {
            uint32_t id = catalog.id_of(jni, classes[i], why);
            if (id == UINT32_MAX) {
                ok = false;
            } else {
                if (ids) ids->push_back(id);
                bool tag = !wanted || (id < wanted->size() && (*wanted)[id]);
                if (tag && !jvmti_ok(scratch, scratch->SetTag(classes[i], scratch_tag::CLASS | id), "SetTag", why))
                    ok = false;
            }
        }
        jni->DeleteLocalRef(classes[i]);
    }
    scratch->Deallocate(reinterpret_cast<unsigned char*>(classes));
    return ok;
}

bool objects_with_tags(jvmtiEnv* env, const std::vector<jlong>& tags, std::vector<jobject>& objects,
                       std::vector<jlong>& found_tags, std::string* why)
{
    objects.clear();
    found_tags.clear();
    if (tags.empty()) return true;
    jint count = 0;
    jobject* objs = nullptr;
    jlong* got = nullptr;
    if (!jvmti_ok(env, env->GetObjectsWithTags(static_cast<jint>(tags.size()), tags.data(), &count, &objs, &got),
                  "GetObjectsWithTags", why))
        return false;
    objects.assign(objs, objs + count);
    found_tags.assign(got, got + count);
    env->Deallocate(reinterpret_cast<unsigned char*>(objs));
    env->Deallocate(reinterpret_cast<unsigned char*>(got));
    return true;
}

static int64_t now_ns()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

Stopwatch::Stopwatch() : start_ns_(now_ns()) {}

double Stopwatch::ms() const { return static_cast<double>(now_ns() - start_ns_) / 1e6; }
