#include "java_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "hprof_format.h"

namespace {

const char* primitiveOfLetter(char letter)
{
    switch (letter) {
    case 'Z': return "boolean";
    case 'B': return "byte";
    case 'C': return "char";
    case 'S': return "short";
    case 'I': return "int";
    case 'J': return "long";
    case 'F': return "float";
    case 'D': return "double";
    default: return nullptr;
    }
}

char letterOfPrimitive(std::string_view name)
{
    static const char* const names[] = {"boolean", "byte", "char", "short", "int", "long", "float", "double"};
    static const char letters[] = "ZBCSIJFD";
    for (int i = 0; i < 8; ++i) {
        if (name == names[i])
            return letters[i];
    }
    return 0;
}

void appendUtf8(std::string& out, uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// "d.ddde+XX" with the fewest digits that read back, or precision digits after the first.
std::string scientific(double v, bool isFloat, int precision)
{
    char buffer[64];
    std::to_chars_result r;
    if (precision < 0)
        r = isFloat ? std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(v), std::chars_format::scientific)
                    : std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::scientific);
    else
        r = isFloat ? std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(v), std::chars_format::scientific,
                                    precision)
                    : std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::scientific, precision);
    return std::string(buffer, r.ptr);
}

bool readsBack(const std::string& text, double v, bool isFloat)
{
    const char* end = text.data() + text.size();
    if (isFloat) {
        float f = 0;
        return std::from_chars(text.data(), end, f).ec == std::errc() && f == static_cast<float>(v);
    }
    double d = 0;
    return std::from_chars(text.data(), end, d).ec == std::errc() && d == v;
}

}  // namespace

std::string javaTypeName(std::string_view name)
{
    const size_t dimensions = name.find_first_not_of('[');
    if (dimensions == 0 || dimensions == std::string_view::npos)
        return std::string(name);
    const std::string_view element = name.substr(dimensions);
    std::string out;
    if (element.size() == 1 && primitiveOfLetter(element[0]))
        out = primitiveOfLetter(element[0]);
    else if (element.size() > 2 && element.front() == 'L' && element.back() == ';')
        out = element.substr(1, element.size() - 2);
    else
        return std::string(name);
    for (size_t i = 0; i < dimensions; ++i)
        out += "[]";
    return out;
}

std::string classNameFromUser(std::string_view typed)
{
    std::string name(typed);
    std::replace(name.begin(), name.end(), '/', '.');
    size_t dimensions = 0;
    while (name.size() >= 2 && name.compare(name.size() - 2, 2, "[]") == 0) {
        name.resize(name.size() - 2);
        ++dimensions;
    }
    if (dimensions == 0)
        return name;
    const char letter = letterOfPrimitive(name);
    return std::string(dimensions, '[') + (letter ? std::string(1, letter) : "L" + name + ";");
}

std::string javaFloatingText(double v, bool isFloat)
{
    if (std::isnan(v))
        return "NaN";
    if (std::isinf(v))
        return v > 0 ? "Infinity" : "-Infinity";
    if (v == 0)
        return std::signbit(v) ? "-0.0" : "0.0";
    std::string sci = scientific(v, isFloat, -1);
    // Where one digit reads back, Java takes the nearer of one or two: 1.4E-45, not 1.0E-45.
    if (sci.find('.') == std::string::npos) {
        const std::string two = scientific(v, isFloat, 1);
        if (readsBack(two, v, isFloat))
            sci = two;
    }
    const bool negative = sci[0] == '-';
    if (negative)
        sci.erase(0, 1);
    const size_t e = sci.find('e');
    const int exponent = std::atoi(sci.c_str() + e + 1);
    std::string digits = sci.substr(0, e);
    digits.erase(std::remove(digits.begin(), digits.end(), '.'), digits.end());
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    std::string out = negative ? "-" : "";
    const double magnitude = std::fabs(v);
    if (magnitude >= 1e-3 && magnitude < 1e7) {
        if (exponent >= 0) {
            const size_t whole = static_cast<size_t>(exponent) + 1;
            if (digits.size() < whole)
                digits.append(whole - digits.size(), '0');
            const std::string fraction = digits.substr(whole);
            out += digits.substr(0, whole) + "." + (fraction.empty() ? "0" : fraction);
        } else {
            out += "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
        }
    } else {
        out += digits.substr(0, 1) + "." + (digits.size() > 1 ? digits.substr(1) : "0") + "E" + std::to_string(exponent);
    }
    return out;
}

std::string javaValueText(uint8_t type, uint64_t bits)
{
    switch (type) {
    case hprof::kBoolean: return bits ? "true" : "false";
    case hprof::kByte: return std::to_string(static_cast<int8_t>(bits));
    case hprof::kShort: return std::to_string(static_cast<int16_t>(bits));
    case hprof::kInt: return std::to_string(static_cast<int32_t>(bits));
    case hprof::kLong: return std::to_string(static_cast<int64_t>(bits));
    case hprof::kChar: {
        std::string out = "'";
        appendUtf8(out, static_cast<uint16_t>(bits));
        return out + "'";
    }
    case hprof::kFloat: {
        float f;
        const auto low = static_cast<uint32_t>(bits);
        std::memcpy(&f, &low, sizeof f);
        return javaFloatingText(f, true);
    }
    case hprof::kDouble: {
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return javaFloatingText(d, false);
    }
    default: return "?";
    }
}

std::string groupedCount(uint64_t n)
{
    std::string digits = std::to_string(n);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

std::string bytesText(uint64_t bytes)
{
    static const char* const units[] = {"KB", "MB", "GB", "TB"};
    if (bytes < 1000)
        return std::to_string(bytes) + " B";
    double value = static_cast<double>(bytes);
    int unit = -1;
    while (value >= 999.5 && unit < 3) {
        value /= 1000;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, value >= 99.5 ? "%.0f %s" : value >= 9.95 ? "%.1f %s" : "%.2f %s", value, units[unit]);
    return text;
}

std::string shareText(double share)
{
    const double percent = share * 100;
    char text[32];
    if (percent >= 9.95)
        std::snprintf(text, sizeof text, "%.0f %%", percent);
    else if (percent >= 0.05)
        std::snprintf(text, sizeof text, "%.1f %%", percent);
    else
        return percent > 0 ? "< 0.1 %" : "0 %";
    return text;
}
