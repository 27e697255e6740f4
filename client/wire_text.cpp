#include "wire_text.h"

#include <optional>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr uint32_t kReplacement = 0xFFFD;

std::optional<uint32_t> hexValue(std::string_view digits)
{
    uint32_t value = 0;
    for (char c : digits) {
        value <<= 4;
        if (c >= '0' && c <= '9')
            value |= static_cast<uint32_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            value |= static_cast<uint32_t>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            value |= static_cast<uint32_t>(c - 'A' + 10);
        else
            return std::nullopt;
    }
    return value;
}

bool isHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The UTF-16 unit of a "\uXXXX" at wire[at], if one stands there.
std::optional<uint32_t> unitAt(std::string_view wire, size_t at)
{
    if (at + 6 > wire.size() || wire[at] != '\\' || wire[at + 1] != 'u')
        return std::nullopt;
    return hexValue(wire.substr(at + 2, 4));
}

}  // namespace

void appendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string escapeArgument(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default:
            if (byte >= 0x20 && byte < 0x7F) {
                out += c;
            } else {
                out += "\\x";
                out += kHexDigits[byte >> 4];
                out += kHexDigits[byte & 0xF];
            }
        }
    }
    return out;
}

std::string unescapeField(std::string_view wire)
{
    std::string out;
    out.reserve(wire.size());
    size_t i = 0;
    while (i < wire.size()) {
        if (wire[i] != '\\' || i + 1 >= wire.size()) {
            out += wire[i++];
            continue;
        }
        const char kind = wire[i + 1];
        if (kind == '\\' || kind == 't' || kind == 'n' || kind == 'r') {
            out += kind == '\\' ? '\\' : kind == 't' ? '\t' : kind == 'n' ? '\n' : '\r';
            i += 2;
        } else if (kind == 'x' && i + 4 <= wire.size() && hexValue(wire.substr(i + 2, 2))) {
            out += static_cast<char>(*hexValue(wire.substr(i + 2, 2)));
            i += 4;
        } else if (const auto unit = unitAt(wire, i)) {
            i += 6;
            uint32_t cp = *unit;
            if (isHighSurrogate(cp)) {
                const auto low = unitAt(wire, i);
                if (low && isLowSurrogate(*low)) {
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (*low - 0xDC00);
                    i += 6;
                } else {
                    cp = kReplacement;
                }
            } else if (isLowSurrogate(cp)) {
                cp = kReplacement;
            }
            appendUtf8(out, cp);
        } else {
            out += wire[i++];  // not an escape of ours: the backslash stays
        }
    }
    return out;
}
