#include "class_names.h"

std::string java_class_name(std::string_view sig)
{
    if (sig.size() >= 2 && sig.front() == 'L' && sig.back() == ';') {
        std::string name(sig.substr(1, sig.size() - 2));
        // Internal names never hold '.': one there marks a hidden class's suffix.
        for (char& c : name) c = c == '/' ? '.' : c == '.' ? '/' : c;
        return name;
    }
    std::string name(sig);
    if (!name.empty() && name.front() == '[')
        for (char& c : name) c = c == '/' ? '.' : c;
    return name;
}

std::string java_type_name(std::string_view sig)
{
    if (sig.size() == 1) {
        switch (sig[0]) {
        case 'Z': return "boolean";
        case 'B': return "byte";
        case 'C': return "char";
        case 'S': return "short";
        case 'I': return "int";
        case 'J': return "long";
        case 'F': return "float";
        case 'D': return "double";
        case 'V': return "void";
        default: break;
        }
    }
    return java_class_name(sig);
}

std::string jvm_signature_of(std::string_view name)
{
    if (name.empty()) return "";
    auto slashed = [](std::string_view n) {
        std::string s(n);
        for (char& c : s) c = c == '.' ? '/' : c;
        return s;
    };
    // Already a signature: an array's Class.getName form or a JVM class signature.
    if (name.front() == '[' || (name.front() == 'L' && name.back() == ';')) return slashed(name);
    size_t dims = 0;
    while (name.size() > 2 && name.substr(name.size() - 2) == "[]") {
        dims++;
        name.remove_suffix(2);
    }
    static const struct {
        const char* java;
        char letter;
    } primitives[] = {{"boolean", 'Z'}, {"byte", 'B'}, {"char", 'C'},  {"short", 'S'},
                      {"int", 'I'},     {"long", 'J'}, {"float", 'F'}, {"double", 'D'}};
    for (const auto& p : primitives)
        if (name == p.java) return dims == 0 ? "" : std::string(dims, '[') + p.letter;  // int has no class
    // A dotted name swaps '.' and '/' (a hidden class "a.B/0x12" is "a/B.0x12" inside);
    // a slashed one is the internal form already.
    std::string internal(name);
    if (internal.find('.') != std::string::npos)
        for (char& c : internal) c = c == '.' ? '/' : c == '/' ? '.' : c;
    return std::string(dims, '[') + "L" + internal + ";";
}

char boxed_primitive(std::string_view java_name)
{
    static const struct {
        const char* box;
        char letter;
    } boxes[] = {{"java.lang.Integer", 'I'}, {"java.lang.Long", 'J'},   {"java.lang.Short", 'S'},
                 {"java.lang.Byte", 'B'},    {"java.lang.Character", 'C'}, {"java.lang.Boolean", 'Z'},
                 {"java.lang.Float", 'F'},   {"java.lang.Double", 'D'}};
    for (const auto& b : boxes)
        if (java_name == b.box) return b.letter;
    return 0;
}
