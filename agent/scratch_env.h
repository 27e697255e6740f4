// A JVMTI environment made for one request's heap walks and disposed of afterwards.
// Its tags are its own: the walks can mark as many objects as they need without
// touching the tags that bind descriptors, and disposing drops them all at once.
#pragma once

#include <jni.h>
#include <jvmti.h>

#include <cstdint>
#include <string>
#include <vector>

#include "class_catalog.h"

// Tags inside a scratch environment: a kind in the top byte, an index below it.
namespace scratch_tag {
constexpr jlong KIND_SHIFT = 56;
constexpr jlong CLASS = jlong{1} << KIND_SHIFT;    // index: catalog id
constexpr jlong TARGET = jlong{2} << KIND_SHIFT;
constexpr jlong RESULT = jlong{3} << KIND_SHIFT;   // index: the request's own numbering
constexpr jlong NODE = jlong{4} << KIND_SHIFT;
constexpr jlong THREAD = jlong{5} << KIND_SHIFT;   // index: position in the thread list
constexpr jlong ROOTED = jlong{6} << KIND_SHIFT;
inline jlong kind(jlong tag) { return tag & ~((jlong{1} << KIND_SHIFT) - 1); }
inline uint64_t index(jlong tag) { return static_cast<uint64_t>(tag) & ((uint64_t{1} << KIND_SHIFT) - 1); }
}  // namespace scratch_tag

class ScratchEnv {
public:
    explicit ScratchEnv(JavaVM* vm);
    ~ScratchEnv();
    ScratchEnv(const ScratchEnv&) = delete;
    ScratchEnv& operator=(const ScratchEnv&) = delete;

    bool ok() const { return env_ != nullptr; }
    const std::string& error() const { return error_; }
    jvmtiEnv* get() const { return env_; }

private:
    jvmtiEnv* env_ = nullptr;
    std::string error_;
};

// Tags classes in a scratch environment with CLASS | catalog id, so the walks' class
// tags name catalog entries. With wanted empty every loaded class is tagged; otherwise
// only those whose catalog id is marked in wanted. ids receives every loaded class's
// catalog id (in GetLoadedClasses order) for the caller to choose from.
bool tag_loaded_classes(ClassCatalog& catalog, JNIEnv* jni, jvmtiEnv* scratch, const std::vector<bool>* wanted,
                        std::vector<uint32_t>* ids, std::string* why);

// The objects carrying any of tags in env, with their tags, as local references.
bool objects_with_tags(jvmtiEnv* env, const std::vector<jlong>& tags, std::vector<jobject>& objects,
                       std::vector<jlong>& found_tags, std::string* why);

// Wall-clock milliseconds of a stretch of work.
class Stopwatch {
public:
    Stopwatch();
    double ms() const;

private:
    int64_t start_ns_;
};
