// A stand-in for the VM behind the JVMTI and JNI calls of the agent's class catalog and
// thread list, for the unit tests that need a call to fail: classes with their fields
// and interfaces, threads, tags, and failures set per call and object. Whatever it
// hands out is malloc'd, so a missing Deallocate shows as a leak under ASan.
#pragma once

#include <jni.h>
#include <jvmti.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct FakeField {
    std::string name, signature;
    bool is_static = false;
};

struct FakeClass {
    std::string signature;
    bool is_interface = false;
    FakeClass* super = nullptr;
    std::vector<FakeClass*> interfaces;
    std::vector<std::unique_ptr<FakeField>> fields;
};

struct FakeThread {
    std::string name;
};

class FakeVm {
public:
    FakeVm();
    FakeVm(const FakeVm&) = delete;
    FakeVm& operator=(const FakeVm&) = delete;

    JavaVM* vm() { return &vm_.vm; }
    JNIEnv* jni() { return &jni_.env; }
    jvmtiEnv* jvmti() { return &jvmti_.env; }

    FakeClass* define(const std::string& signature, FakeClass* super = nullptr,
                      std::vector<FakeClass*> interfaces = {}, bool is_interface = false);
    void add_field(FakeClass* cls, const std::string& name, const std::string& signature, bool is_static = false);
    FakeThread* start_thread(const std::string& name);
    static jclass ref(FakeClass* cls) { return reinterpret_cast<jclass>(cls); }
    static jthread ref(FakeThread* t) { return reinterpret_cast<jthread>(t); }

    // From now on the JVMTI function named call fails with err when given target.
    void fail(const std::string& call, const void* target, jvmtiError err) { failures_[{call, target}] = err; }
    jlong tag_of(const void* object) const;

    // What the fake functions use (public for them; tests need not).
    bool failing(const char* call, const void* target, jvmtiError* err) const;
    std::map<const void*, jlong> tags;
    std::vector<std::unique_ptr<FakeClass>> classes;
    std::vector<std::unique_ptr<FakeThread>> threads;

private:
    struct Vm {
        JavaVM vm;
        FakeVm* fake;
    };
    struct Jni {
        JNIEnv env;
        FakeVm* fake;
    };
    struct Jvmti {
        jvmtiEnv env;
        FakeVm* fake;
    };
    JNIInvokeInterface_ invoke_{};
    JNINativeInterface_ native_{};
    jvmtiInterface_1_ tool_{};
    Vm vm_;
    Jni jni_;
    Jvmti jvmti_;
    std::map<std::pair<std::string, const void*>, jvmtiError> failures_;

    friend FakeVm& fake_of(jvmtiEnv* env);
    friend FakeVm& fake_of(JNIEnv* env);
    friend FakeVm& fake_of(JavaVM* vm);
};
