// A JVMTI environment of the agent's own that may tag objects. Its tags are its own:
// the tags of other environments are not touched, and disposing of it drops all of
// its tags at once, without a walk that stops the program.
#pragma once

#include <jni.h>
#include <jvmti.h>

#include "outcome.h"

class TaggingEnv {
public:
    // A new environment, or why the VM gives none for this purpose ("the walk").
    static Expected<TaggingEnv> open(JavaVM* vm, const char* purpose);

    TaggingEnv(TaggingEnv&& other) noexcept;
    TaggingEnv& operator=(TaggingEnv&&) = delete;
    TaggingEnv(const TaggingEnv&) = delete;
    ~TaggingEnv();

    jvmtiEnv* get() const { return env_; }
    // Keeps the environment beyond this object: its disposal is the caller's from now on.
    jvmtiEnv* release();

private:
    explicit TaggingEnv(jvmtiEnv* env) : env_(env) {}
    jvmtiEnv* env_;
};
