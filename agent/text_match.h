// Whether an object holds a text: a String whose text contains it, or an object with an
// instance field, String or primitive, whose text (as `object` prints it) contains it.
#pragma once

#include <jni.h>

#include <cstdint>
#include <string>

#include "outcome.h"

struct Agent;

class TextMatch {
public:
    TextMatch(Agent& agent, JNIEnv* jni, std::string text);

    Expected<bool> holds(jobject obj, uint32_t class_id);

private:
    bool string_contains(jobject s);

    Agent& agent_;
    JNIEnv* jni_;
    std::string text_;
    jclass string_class_ = nullptr;  // a local reference of the request's frame
};
