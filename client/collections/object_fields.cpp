#include "object_fields.h"

#include <cerrno>
#include <cstdlib>

#include "layout_error.h"

namespace {

[[noreturn]] void mismatch(const ObjectView& view, FieldName f, const std::string& what)
{
    throw LayoutMismatch{describe(view.object) + ": field " + f.declared + "." + f.name + " " + what};
}

const Slot& requireField(const ObjectView& view, FieldName f)
{
    if (const Slot* slot = findField(view, f))
        return *slot;
    mismatch(view, f, "is missing");
}

}  // namespace

const Slot* findField(const ObjectView& view, FieldName f)
{
    for (const Slot& slot : view.contents)
        if (slot.how == "field" && slot.name == f.name && slot.declared == f.declared)
            return &slot;
    return nullptr;
}

bool hasField(const ObjectView& view, FieldName f)
{
    return findField(view, f) != nullptr;
}

ObjectRef refField(const ObjectView& view, FieldName f)
{
    const Slot& slot = requireField(view, f);
    if (slot.refersToObject())
        return slot.target;
    if (slot.value != "null")
        mismatch(view, f, "is not a reference");
    return {};
}

long long intField(const ObjectView& view, FieldName f)
{
    const Slot& slot = requireField(view, f);
    const std::string& t = slot.declType;
    if (t != "int" && t != "long" && t != "short" && t != "byte")
        mismatch(view, f, "is of type " + t + ", not a whole number");
    char* end = nullptr;
    errno = 0;
    const long long n = std::strtoll(slot.value.c_str(), &end, 10);
    if (slot.value.empty() || *end != '\0' || errno == ERANGE)
        mismatch(view, f, "holds '" + slot.value + "', not a number");
    return n;
}

bool boolField(const ObjectView& view, FieldName f)
{
    const Slot& slot = requireField(view, f);
    if (slot.declType != "boolean" || (slot.value != "true" && slot.value != "false"))
        mismatch(view, f, "is not a boolean");
    return slot.value == "true";
}

void expectType(const ObjectRef& object, const std::vector<const char*>& types, const std::string& what)
{
    for (const char* type : types)
        if (object.type == type)
            return;
    std::string expected;
    for (const char* type : types)
        expected += (expected.empty() ? "" : " or ") + std::string(type);
    throw LayoutMismatch{what + " " + describe(object) + " is not a " + expected};
}

std::string describe(const ObjectRef& object)
{
    if (object.handle.empty())
        return "null";
    return object.type + " @" + object.handle;
}
