// How the framed replies show objects and values: a Java-style text for primitive
// values, and the handle, type, size and preview of a referenced object.
#pragma once

#include <jni.h>

#include <cstdint>
#include <string>

#include "outcome.h"
#include "value_text.h"

struct Agent;
class RecordWriter;

// A primitive value as Java prints it: 42, true, 3.5, 1.0E10, NaN; a char as itself.
// type is the JVM type letter (Z B C S I J F D).
std::string format_primitive(char type, jvalue v);

// A primitive field's value, read as its type letter says.
jvalue field_value(JNIEnv* jni, jobject obj, jfieldID field, char type);
jvalue static_value(JNIEnv* jni, jclass cls, jfieldID field, char type);

// A String's whole text; empty when obj is not a String.
std::string string_text(JNIEnv* jni, jstring s, size_t max_chars);

// What a reply says of an object it refers to.
struct ObjectSummary {
    uint32_t handle = 0;
    std::string type;     // Class.getName form
    int64_t size = 0;
    std::string preview;
    uint32_t class_id = UINT32_MAX;
};

// Binds obj to a handle and describes it; fails when the VM refuses.
Expected<ObjectSummary> summarize(Agent& agent, JNIEnv* jni, jobject obj);

// Appends the four fields H TYPE SIZE PREVIEW of obj (all empty for a null obj).
void write_object_fields(RecordWriter& w, const ObjectSummary* s);

// How holder holds an object through a reference the heap walk reported with this
// kind and index: "field" with the field's name and declaring class, "element" with
// the index, "static" with the static field's name, and so on.
struct Holding {
    std::string how, name, declared;
};
Holding describe_holding(Agent& agent, JNIEnv* jni, jobject holder, int kind, int index);
