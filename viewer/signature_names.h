// Type names for JVM type descriptors: "I" -> int, "Ljava/lang/String;" ->
// java/lang/String, "[[I" -> int[][]. Class names keep their slashes.
#pragma once

#include <string>
#include <string_view>

#include "trace_log.h"

// s is the signature part of a listing line; it is cut at its first blank.
std::string convSignature(std::string_view s, const TraceLog& trace);
