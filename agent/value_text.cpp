#include "value_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace {

void append_unit(std::string& out, uint32_t u)
{
    if (u < 0x80) {
        out += static_cast<char>(u);
    } else if (u < 0x800) {
        out += static_cast<char>(0xc0 | (u >> 6));
        out += static_cast<char>(0x80 | (u & 0x3f));
    } else {
        out += static_cast<char>(0xe0 | (u >> 12));
        out += static_cast<char>(0x80 | ((u >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (u & 0x3f));
    }
}

// "d.ddde+XX" of v with the given significant digits after the first (-1: the fewest
// that read back as v), in v's own width.
std::string scientific(double v, bool is_float, int precision)
{
    char buf[64];
    std::to_chars_result res;
    if (precision < 0)
        res = is_float ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(v), std::chars_format::scientific)
                       : std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
    else
        res = is_float ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(v), std::chars_format::scientific,
                                       precision)
                       : std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, precision);
    return std::string(buf, res.ptr);
}

// Locale-free, unlike strtod: the VM may have set the program's locale.
bool reads_back(const std::string& text, double v, bool is_float)
{
    const char* end = text.data() + text.size();
    if (is_float) {
        float f = 0;
        return std::from_chars(text.data(), end, f).ec == std::errc() && f == static_cast<float>(v);
    }
    double d = 0;
    return std::from_chars(text.data(), end, d).ec == std::errc() && d == v;
}

}  // namespace

std::string format_floating(double v, bool is_float)
{
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
    if (v == 0) return std::signbit(v) ? "-0.0" : "0.0";
    std::string sci = scientific(v, is_float, -1);  // "-d.ddde+XX"
    // Where one digit reads back as v, Java takes the nearest of one or two digits:
    // Float.MIN_VALUE is 1.4E-45, not 1.0E-45.
    if (sci.find('.') == std::string::npos) {
        std::string two = scientific(v, is_float, 1);
        if (reads_back(two, v, is_float)) sci = two;
    }
    bool negative = sci[0] == '-';
    if (negative) sci.erase(0, 1);
    size_t e = sci.find('e');
    int exponent = std::atoi(sci.c_str() + e + 1);
    std::string digits = sci.substr(0, e);
    digits.erase(std::remove(digits.begin(), digits.end(), '.'), digits.end());  // "dddd"
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    std::string out = negative ? "-" : "";
    double mag = std::fabs(v);
    if (mag >= 1e-3 && mag < 1e7) {
        if (exponent >= 0) {
            size_t int_len = static_cast<size_t>(exponent) + 1;
            if (digits.size() < int_len) digits.append(int_len - digits.size(), '0');
            std::string frac = digits.substr(int_len);
            out += digits.substr(0, int_len) + "." + (frac.empty() ? "0" : frac);
        } else {
            out += "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
        }
    } else {
        out += digits.substr(0, 1) + "." + (digits.size() > 1 ? digits.substr(1) : "0") + "E" + std::to_string(exponent);
    }
    return out;
}

std::string utf16_to_text(const uint16_t* chars, size_t count)
{
    std::string out;
    out.reserve(count);
    for (size_t i = 0; i < count; i++) append_unit(out, chars[i]);
    return out;
}
