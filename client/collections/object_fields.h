// Reading the fields a collection reader relies on, each named by its declaring class,
// so a subclass's field of the same name is never taken for it. Every reader throws
// LayoutMismatch with a sentence when the field is missing or of another kind.
#pragma once

#include <vector>
#include <string>

#include "reply_views.h"

struct FieldName {
    const char* declared;  // java.util.HashMap
    const char* name;      // table
};

// The slot of field f, or nullptr.
const Slot* findField(const ObjectView& view, FieldName f);
bool hasField(const ObjectView& view, FieldName f);
// A reference field: its target (no handle when null).
ObjectRef refField(const ObjectView& view, FieldName f);
// A primitive field of a whole-number type (int, long, short, byte).
long long intField(const ObjectView& view, FieldName f);
bool boolField(const ObjectView& view, FieldName f);

// Throws unless the object's type is one of types; what names the object in the sentence.
void expectType(const ObjectRef& object, const std::vector<const char*>& types, const std::string& what);
// "java.util.HashMap$Node @1a2b"
std::string describe(const ObjectRef& object);
