// Type names as the framed replies carry them: Class.getName()'s form, which is also
// what jcmd GC.class_histogram prints ("java.lang.String", "[I", "[Ljava.lang.String;",
// a hidden class as "pkg.Name/0x..."). Front ends that follow jcmd show them as they
// come; prettyTypeName gives the form a Java programmer writes.
#pragma once

#include <string>
#include <string_view>

// "[I" -> "int[]", "[[Ljava.lang.String;" -> "java.lang.String[][]"; a name that is no
// array ("java.lang.String", "int") or no well-formed array name stays as it is.
std::string prettyTypeName(std::string_view name);
