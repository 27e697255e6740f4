#include "records.h"

#include <cstdio>

namespace {

void hex_byte(std::string& out, unsigned char b)
{
    static const char digits[] = "0123456789abcdef";
    out += "\\x";
    out += digits[b >> 4];
    out += digits[b & 15];
}

void unit(std::string& out, uint32_t u)
{
    char buf[8];
    snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(u & 0xffff));
    out += buf;
}

// One ASCII character, escaped when it must be.
void ascii(std::string& out, unsigned char c)
{
    switch (c) {
    case '\\': out += "\\\\"; return;
    case '\t': out += "\\t"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    default:
        if (c < 0x20 || c == 0x7f) hex_byte(out, c);
        else out += static_cast<char>(c);
    }
}

bool continuation(unsigned char c) { return (c & 0xc0) == 0x80; }

}  // namespace

void escape_text(std::string& out, std::string_view bytes)
{
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    for (size_t i = 0; i < n;) {
        unsigned char c = s[i];
        if (c < 0x80) {
            ascii(out, c);
            i++;
        } else if ((c & 0xe0) == 0xc0 && i + 1 < n && continuation(s[i + 1])) {
            uint32_t cp = ((c & 0x1fu) << 6) | (s[i + 1] & 0x3fu);
            // Modified UTF-8 writes NUL as C0 80; other overlong forms are not text.
            if (cp < 0x80 && cp != 0) {
                hex_byte(out, s[i++]);
                continue;
            }
            unit(out, cp);
            i += 2;
        } else if ((c & 0xf0) == 0xe0 && i + 2 < n && continuation(s[i + 1]) && continuation(s[i + 2])) {
            uint32_t cp = ((c & 0x0fu) << 12) | ((s[i + 1] & 0x3fu) << 6) | (s[i + 2] & 0x3fu);
            if (cp < 0x800) {
                hex_byte(out, s[i++]);
                continue;
            }
            unit(out, cp);  // surrogates pass as they are: modified UTF-8 spells pairs so
            i += 3;
        } else if ((c & 0xf8) == 0xf0 && i + 3 < n && continuation(s[i + 1]) && continuation(s[i + 2]) &&
                   continuation(s[i + 3])) {
            uint32_t cp = ((c & 0x07u) << 18) | ((s[i + 1] & 0x3fu) << 12) | ((s[i + 2] & 0x3fu) << 6) |
                          (s[i + 3] & 0x3fu);
            if (cp < 0x10000 || cp > 0x10ffff) {
                hex_byte(out, s[i++]);
                continue;
            }
            cp -= 0x10000;
            unit(out, 0xd800 + (cp >> 10));
            unit(out, 0xdc00 + (cp & 0x3ff));
            i += 4;
        } else {
            hex_byte(out, c);
            i++;
        }
    }
}

void escape_utf16(std::string& out, const uint16_t* chars, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        if (chars[i] < 0x80) ascii(out, static_cast<unsigned char>(chars[i]));
        else unit(out, chars[i]);
    }
}

void RecordWriter::end_record()
{
    if (open_) body_ += '\n';
    open_ = false;
}

RecordWriter& RecordWriter::record(std::string_view kind)
{
    end_record();
    body_.append(kind);
    open_ = true;
    return *this;
}

RecordWriter& RecordWriter::field(std::string_view text)
{
    body_ += '\t';
    escape_text(body_, text);
    return *this;
}

RecordWriter& RecordWriter::field(int64_t n)
{
    body_ += '\t';
    body_ += std::to_string(n);
    return *this;
}

RecordWriter& RecordWriter::field_utf16(const uint16_t* chars, size_t count)
{
    body_ += '\t';
    escape_utf16(body_, chars, count);
    return *this;
}

RecordWriter& RecordWriter::pair(std::string_view name, std::string_view value)
{
    body_ += '\t';
    body_.append(name);
    body_ += '=';
    escape_text(body_, value);
    return *this;
}

RecordWriter& RecordWriter::pair(std::string_view name, int64_t value) { return pair(name, std::to_string(value)); }

RecordWriter& RecordWriter::pair_ms(std::string_view name, double ms)
{
    char buf[32];
    snprintf(buf, sizeof buf, "%.1f", ms);
    return pair(name, buf);
}

RecordWriter& RecordWriter::append(RecordWriter& other)
{
    end_record();
    body_ += other.take();
    return *this;
}

std::string RecordWriter::take()
{
    end_record();
    return std::move(body_);
}

std::string ok_body(RecordWriter& status, RecordWriter& rows)
{
    std::string body = status.take();
    body += rows.take();
    return body;
}

std::string error_body(std::string_view verb, std::string_view code, std::string_view message)
{
    RecordWriter w;
    w.record("error").field(verb).field(code).field(message);
    return w.take();
}
