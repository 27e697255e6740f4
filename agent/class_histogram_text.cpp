#include "class_histogram_text.h"

#include <cstdlib>

namespace {

std::string_view skip_spaces(std::string_view s)
{
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    return s;
}

// A whole number at the front of s, moved past.
bool take_count(std::string_view& s, int64_t* out)
{
    s = skip_spaces(s);
    size_t n = 0;
    while (n < s.size() && s[n] >= '0' && s[n] <= '9') n++;
    if (n == 0 || n > 18) return false;
    *out = std::strtoll(std::string(s.substr(0, n)).c_str(), nullptr, 10);
    s.remove_prefix(n);
    return true;
}

// "[B (java.base@17.0.15)" -> "[B". A module's name and version hold no space, so the
// suffix is the last " (" whose parenthesis closes the line with no space inside.
std::string_view without_module(std::string_view name)
{
    if (name.empty() || name.back() != ')') return name;
    size_t open = name.rfind(" (");
    if (open == std::string_view::npos) return name;
    std::string_view inside = name.substr(open + 2, name.size() - open - 3);
    if (inside.empty() || inside.find(' ') != std::string_view::npos) return name;
    return name.substr(0, open);
}

}  // namespace

bool parse_class_histogram(std::string_view text, std::vector<ClassCount>* rows)
{
    rows->clear();
    bool total = false;
    while (!text.empty() && !total) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::string_view s = skip_spaces(line);
        if (s.empty() || s.front() == '-' || s.substr(0, 4) == "num ") continue;
        if (s.substr(0, 5) == "Total") {
            total = true;
            continue;
        }
        ClassCount row;
        int64_t num = 0;
        if (!take_count(s, &num) || s.empty() || s.front() != ':') return false;
        s.remove_prefix(1);
        if (!take_count(s, &row.instances) || !take_count(s, &row.bytes)) return false;
        std::string_view name = without_module(skip_spaces(s));
        if (name.empty()) return false;
        row.type = std::string(name);
        rows->push_back(std::move(row));
    }
    return total;
}
