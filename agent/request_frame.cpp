#include "request_frame.h"

#include <algorithm>
#include <charconv>

#include "records.h"

FrameStart frame_start(std::string_view received)
{
    const size_t n = std::min(received.size(), FRAME_MAGIC.size());
    if (received.substr(0, n) != FRAME_MAGIC.substr(0, n)) return FrameStart::Classic;
    return n == FRAME_MAGIC.size() ? FrameStart::Framed : FrameStart::Undecided;
}

FrameScan scan_frame(std::string_view buffer)
{
    const size_t limit = FRAME_MAGIC.size() + MAX_REQUEST_LINE + 1;
    const size_t lf = buffer.find('\n', FRAME_MAGIC.size());
    if (lf == std::string_view::npos || lf >= limit)
        return {buffer.size() >= limit ? FrameScan::TooLong : FrameScan::Incomplete, 0};
    return {FrameScan::Complete, lf + 1};
}

namespace {

int hex_value(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool unescape(std::string_view in, std::string& out, std::string& error)
{
    out.clear();
    for (size_t i = 0; i < in.size(); i++) {
        char c = in[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == in.size()) {
            error = "the request line ends inside an escape";
            return false;
        }
        switch (in[i]) {
        case '\\': out += '\\'; break;
        case 't': out += '\t'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 'x': {
            int hi = i + 1 < in.size() ? hex_value(in[i + 1]) : -1;
            int lo = i + 2 < in.size() ? hex_value(in[i + 2]) : -1;
            if (hi < 0 || lo < 0) {
                error = "\\x needs two hex digits";
                return false;
            }
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
            break;
        }
        default:
            error = std::string("unknown escape \\") + in[i];
            return false;
        }
    }
    return true;
}

}  // namespace

bool decode_request_line(std::string_view line, FramedRequest& out, std::string& error)
{
    out = FramedRequest{};
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // typed with CR LF
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        std::string field;
        if (!unescape(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start),
                      field, error))
            return false;
        fields.push_back(std::move(field));
        if (tab == std::string_view::npos) break;
        start = tab + 1;
    }
    if (fields.front().empty()) {
        error = "the request line has no request name";
        return false;
    }
    out.name = std::move(fields.front());
    out.args.assign(std::make_move_iterator(fields.begin() + 1), std::make_move_iterator(fields.end()));
    return true;
}

RequestArgs::RequestArgs(const FramedRequest& req, size_t positional, std::vector<std::string_view> options)
{
    size_t i = 0;
    if (positional > 0) {
        if (req.args.empty() || req.args[0].empty()) {
            error_ = req.name + " needs an argument";
            return;
        }
        positional_ = req.args[0];
        i = 1;
    }
    for (; i < req.args.size(); i++) {
        const std::string& a = req.args[i];
        size_t eq = a.find('=');
        if (eq == std::string::npos || eq == 0) {
            error_ = "'" + a + "' is not a name=value option";
            return;
        }
        std::string name = a.substr(0, eq);
        if (std::find(options.begin(), options.end(), name) == options.end()) {
            error_ = req.name + " has no option '" + name + "'";
            return;
        }
        for (const auto& o : options_)
            if (o.first == name) {
                error_ = "option '" + name + "' is given twice";
                return;
            }
        options_.emplace_back(std::move(name), a.substr(eq + 1));
    }
}

Failure RequestArgs::failure() const { return {err::USAGE, error_}; }

std::optional<std::string> RequestArgs::text(std::string_view name) const
{
    for (const auto& o : options_)
        if (o.first == name) return o.second;
    return std::nullopt;
}

int64_t RequestArgs::number(std::string_view name, int64_t fallback, int64_t min, int64_t max)
{
    std::optional<std::string> t = text(name);
    if (!t) return fallback;
    int64_t v = 0;
    auto [end, ec] = std::from_chars(t->data(), t->data() + t->size(), v);
    if (ec != std::errc() || end != t->data() + t->size() || v < min || v > max) {
        if (error_.empty())
            error_ = std::string(name) + " must be a whole number from " + std::to_string(min) + " to " +
                     std::to_string(max) + ", not '" + *t + "'";
        return fallback;
    }
    return v;
}

bool RequestArgs::flag(std::string_view name, bool fallback)
{
    std::optional<std::string> t = text(name);
    if (!t) return fallback;
    if (*t == "1" || *t == "true" || *t == "yes") return true;
    if (*t == "0" || *t == "false" || *t == "no") return false;
    if (error_.empty()) error_ = std::string(name) + " must be 1 or 0, not '" + *t + "'";
    return fallback;
}

std::optional<uint32_t> parse_framed_handle(std::string_view text)
{
    if (text.empty() || text.size() > 8) return std::nullopt;
    uint32_t v = 0;
    for (char c : text) {
        int d = hex_value(c);
        if (d < 0) return std::nullopt;
        v = v * 16 + static_cast<uint32_t>(d);
    }
    return v;
}
