// Memory the VM allocates for the results of a JVMTI call, given back with Deallocate
// when its holder goes, however the holder's scope is left.
#pragma once

#include <jvmti.h>

#include <cstddef>
#include <string>

template <typename T>
class JvmtiBuffer {
public:
    // adopted: memory a call has filled in already (a field of a result record).
    explicit JvmtiBuffer(jvmtiEnv* env, T* adopted = nullptr) : env_(env), p_(adopted) {}
    ~JvmtiBuffer() { reset(); }
    JvmtiBuffer(const JvmtiBuffer&) = delete;
    JvmtiBuffer& operator=(const JvmtiBuffer&) = delete;

    // Where the call writes its result; what was held before is given back first.
    T** out()
    {
        reset();
        return &p_;
    }
    T* get() const { return p_; }
    T& operator[](size_t i) const { return p_[i]; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    void reset()
    {
        if (p_) env_->Deallocate(reinterpret_cast<unsigned char*>(p_));
        p_ = nullptr;
    }

    jvmtiEnv* env_;
    T* p_;
};

// The JVM signature of cls ("Ljava/lang/String;"); "" when the VM cannot say.
inline std::string class_signature(jvmtiEnv* env, jclass cls)
{
    JvmtiBuffer<char> sig(env);
    if (env->GetClassSignature(cls, sig.out(), nullptr) != JVMTI_ERROR_NONE || !sig) return "";
    return sig.get();
}
