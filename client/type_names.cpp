#include "type_names.h"

namespace {

// The Java name of a one-letter primitive code, or empty.
std::string_view primitiveName(char code)
{
    switch (code) {
    case 'Z': return "boolean";
    case 'B': return "byte";
    case 'C': return "char";
    case 'S': return "short";
    case 'I': return "int";
    case 'J': return "long";
    case 'F': return "float";
    case 'D': return "double";
    default: return {};
    }
}

}  // namespace

std::string prettyTypeName(std::string_view name)
{
    const size_t dimensions = name.find_first_not_of('[');
    if (dimensions == 0 || dimensions == std::string_view::npos)
        return std::string(name);
    const std::string_view element = name.substr(dimensions);
    std::string pretty;
    if (element.size() == 1 && !primitiveName(element[0]).empty())
        pretty = primitiveName(element[0]);
    else if (element.size() > 2 && element.front() == 'L' && element.back() == ';')
        pretty = element.substr(1, element.size() - 2);
    else
        return std::string(name);
    for (size_t i = 0; i < dimensions; ++i)
        pretty += "[]";
    return pretty;
}
