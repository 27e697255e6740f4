// Text as a Java programmer reads it, for the snapshot's replies: type names as Java
// writes them, primitive values as Java prints them, and the figures of a sentence.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// "[I" -> "int[]", "[[Ljava.lang.String;" -> "java.lang.String[][]"; any other name
// (Class.getName() of a class that is no array) stays as it is.
std::string javaTypeName(std::string_view className);
// A class name as a person may type it, in Class.getName()'s form: "int[]" -> "[I",
// "java/util/HashMap" -> "java.util.HashMap", "java.lang.String[]" -> "[Ljava.lang.String;".
std::string classNameFromUser(std::string_view typed);

// A primitive value (hprof::Type, its bits as the dump writes them) as Java prints it:
// true, 'x' for a char, 1.5, 1.0E10, NaN.
std::string javaValueText(uint8_t type, uint64_t bits);
// Java's Double.toString and Float.toString: the shortest digits that read back, plain
// from 10^-3 up to 10^7 and d.dddE±n outside.
std::string javaFloatingText(double value, bool isFloat);

// "1,100,000"
std::string groupedCount(uint64_t n);
// Bytes with a unit a person reads at a glance: "512 B", "3.4 KB", "292 MB", "1.5 GB"
// (powers of 1000, three significant digits).
std::string bytesText(uint64_t bytes);
// A share as a percentage: "89 %", "4.2 %", "0.3 %", "< 0.1 %".
std::string shareText(double share);
