// Class and type names as the framed replies spell them, from the VM's signatures, and
// back from the names a client may type. Pure: no VM needed.
#pragma once

#include <string>
#include <string_view>

// The JVM signature of a class as Class.getName() gives it, as jcmd prints it:
// "Ljava/lang/String;" -> "java.lang.String", "[I" stays "[I", "[Ljava/lang/Object;" ->
// "[Ljava.lang.Object;", a hidden class "La/B.0x12;" -> "a.B/0x12".
std::string java_class_name(std::string_view signature);
// A field's type as Java writes it: "I" -> "int", "Ljava/lang/String;" ->
// "java.lang.String", "[J" -> "[J" (arrays keep Class.getName form).
std::string java_type_name(std::string_view field_signature);
// The JVM signature for a class name given either way: "java.util.Map$Entry",
// "int[]", "java.lang.String[]", "java/util/HashMap", "Ljava/util/HashMap;", "[I".
// Empty for a primitive type, which has no class of its own.
std::string jvm_signature_of(std::string_view name);
// The primitive type letter of a boxing class ("java.lang.Integer" -> 'I'), else 0.
char boxed_primitive(std::string_view java_name);
