#include "signature_names.h"

#include <array>

namespace {

constexpr int kPrimitiveCount = 8;

// One-letter descriptor codes and their names at the same index, looked up in order.
constexpr std::array<std::string_view, kPrimitiveCount> sign = {"Z", "B", "C", "S", "I", "J", "F", "D"};
constexpr std::array<std::string_view, kPrimitiveCount> primitive_names = {
    "boolean", "byte", "char", "short", "int", "long", "float", "double"};

std::string lookUpPrimitive(std::string_view s, const TraceLog& trace)
{
    for (int i = 0; i < kPrimitiveCount; ++i) {
        if (trace.on()) {
            trace("sign[i].c_str()=");
            trace(sign[i]);
            trace("\r\n");
        }
        if (s == sign[i]) {
            trace(primitive_names[i]);
            return std::string(primitive_names[i]);
        }
    }
    return std::string(s);
}

}  // namespace

// Each leading '[' is one nested conversion with its own trace bracket. The nesting is
// unrolled into a loop so that a descriptor of any depth cannot exhaust the stack.
std::string convSignature(std::string_view s, const TraceLog& trace)
{
    int dimensions = 0;
    std::string result;
    for (bool outermost = true;; outermost = false) {
        if (trace.on()) {
            trace("convSignature\r\n");
            trace(s);
            trace("\r\n");
        }
        if (outermost)
            s = s.substr(0, s.find(' '));  // what nested levels get has no blank left
        trace("strlen(s)=", static_cast<long long>(s.size()), "\r\n");
        if (trace.on()) {
            // The text stops at the NUL an empty s would show as its last character.
            std::string last = "*(s+len-1)='";
            if (!s.empty()) {
                last += s.back();
                last += "'\r\n";
            }
            trace(last);
        }
        if (s.size() == 1) {
            result = lookUpPrimitive(s, trace);
            break;
        }
        if (trace.on()) {
            trace(s.substr(0, 1));
            trace("\r\n");
        }
        if (!s.empty() && s.front() == 'L') {
            result = std::string(s.substr(1, s.size() - 2));
            if (trace.on()) {
                trace(result);
                trace("\r\n");
            }
            break;
        }
        if (!s.empty() && s.front() == '[') {
            ++dimensions;
            s.remove_prefix(1);
            continue;
        }
        result = std::string(s);
        break;
    }
    trace("convSignature end\r\n");
    for (int i = 0; i < dimensions; ++i) {
        result += "[]";
        trace("convSignature end\r\n");
    }
    return result;
}
