#include "json_reader.h"

#include <cstdlib>

#include "wire_text.h"

namespace {

struct Reader {
    const std::string& s;
    size_t at = 0;

    void blanks()
    {
        while (at < s.size() && (s[at] == ' ' || s[at] == '\n' || s[at] == '\t' || s[at] == '\r'))
            ++at;
    }
    bool take(const std::string& word)
    {
        if (s.compare(at, word.size(), word) != 0)
            return false;
        at += word.size();
        return true;
    }
    bool string(std::string& out)
    {
        if (!take("\""))
            return false;
        while (at < s.size() && s[at] != '"') {
            const char c = s[at++];
            if (static_cast<unsigned char>(c) < 0x20)
                return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at >= s.size())
                return false;
            const char e = s[at++];
            if (e == 'u') {
                if (at + 4 > s.size())
                    return false;
                appendUtf8(out, static_cast<uint32_t>(std::strtoul(s.substr(at, 4).c_str(), nullptr, 16)));
                at += 4;
            } else {
                const std::string from = "\"\\/bfnrt", to = "\"\\/\b\f\n\r\t";
                const size_t k = from.find(e);
                if (k == std::string::npos)
                    return false;
                out += to[k];
            }
        }
        return take("\"");
    }
    bool value(JsonValue& v)
    {
        blanks();
        if (at >= s.size())
            return false;
        if (s[at] == '{') {
            v.kind = JsonValue::Object;
            ++at;
            blanks();
            if (take("}"))
                return true;
            do {
                blanks();
                std::string name;
                if (!string(name))
                    return false;
                blanks();
                if (!take(":") || !value(v.members[name]))
                    return false;
                blanks();
            } while (take(","));
            return take("}");
        }
        if (s[at] == '[') {
            v.kind = JsonValue::Array;
            ++at;
            blanks();
            if (take("]"))
                return true;
            do {
                v.items.emplace_back();
                if (!value(v.items.back()))
                    return false;
                blanks();
            } while (take(","));
            return take("]");
        }
        if (s[at] == '"')
            return v.kind = JsonValue::String, string(v.text);
        if (take("null"))
            return true;
        if (take("true")) {
            v.kind = JsonValue::Bool;
            v.flag = true;
            return true;
        }
        if (take("false"))
            return v.kind = JsonValue::Bool, true;
        const char* begin = s.c_str() + at;
        char* end = nullptr;
        v.number = std::strtod(begin, &end);
        if (end == begin)
            return false;
        v.kind = JsonValue::Number;
        at += static_cast<size_t>(end - begin);
        return true;
    }
};

const JsonValue kNothing;

}  // namespace

const JsonValue& JsonValue::operator[](const std::string& name) const
{
    const auto it = members.find(name);
    return it == members.end() ? kNothing : it->second;
}

std::optional<JsonValue> readJson(const std::string& text)
{
    Reader reader{text};
    JsonValue v;
    if (!reader.value(v))
        return std::nullopt;
    reader.blanks();
    if (reader.at != text.size())
        return std::nullopt;
    return v;
}
