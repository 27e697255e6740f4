// Tags inside a request's scratch environment (see RequestContext::scratch): a kind in
// the top byte, an index below it.
#pragma once

#include <jni.h>

#include <cstdint>

namespace scratch_tag {
constexpr jlong KIND_SHIFT = 56;
constexpr jlong CLASS = jlong{1} << KIND_SHIFT;    // index: catalog id
constexpr jlong TARGET = jlong{2} << KIND_SHIFT;
constexpr jlong RESULT = jlong{3} << KIND_SHIFT;   // index: the request's own numbering
constexpr jlong NODE = jlong{4} << KIND_SHIFT;
constexpr jlong THREAD = jlong{5} << KIND_SHIFT;   // index: position in the thread list
constexpr jlong ROOTED = jlong{6} << KIND_SHIFT;
constexpr jlong MATCH = jlong{7} << KIND_SHIFT;    // instances contains=: an object that holds the text
inline jlong kind(jlong tag) { return tag & ~((jlong{1} << KIND_SHIFT) - 1); }
inline uint64_t index(jlong tag) { return static_cast<uint64_t>(tag) & ((uint64_t{1} << KIND_SHIFT) - 1); }
}  // namespace scratch_tag
