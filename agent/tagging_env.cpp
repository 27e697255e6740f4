#include "tagging_env.h"

#include <string>
#include <utility>

#include "jvmti_check.h"
#include "records.h"

Expected<TaggingEnv> TaggingEnv::open(JavaVM* vm, const char* purpose)
{
    jvmtiEnv* env = nullptr;
    if (vm->GetEnv(reinterpret_cast<void**>(&env), JVMTI_VERSION_1_2) != JNI_OK || !env)
        return Failure{err::JVM, std::string("the VM gives no JVMTI environment for ") + purpose};
    TaggingEnv made(env);
    jvmtiCapabilities caps{};
    caps.can_tag_objects = 1;
    if (Status added = jvmti_check(env, env->AddCapabilities(&caps), "AddCapabilities"); !added)
        return added.failure();
    return made;
}

TaggingEnv::TaggingEnv(TaggingEnv&& other) noexcept : env_(std::exchange(other.env_, nullptr)) {}

TaggingEnv::~TaggingEnv()
{
    if (env_) env_->DisposeEnvironment();
}

jvmtiEnv* TaggingEnv::release() { return std::exchange(env_, nullptr); }
