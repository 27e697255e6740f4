// Framed requests: "VRL1 ", a request line of TAB-separated, backslash-escaped fields,
// and a line feed. Kept apart from the socket so tests and the fuzzer can drive it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "outcome.h"

constexpr std::string_view FRAME_MAGIC = "VRL1 ";
constexpr size_t MAX_REQUEST_LINE = size_t{1} << 20;

// What the first bytes of a message say: a framed request, a classic message, or too
// few bytes to tell (a strict prefix of the magic).
enum class FrameStart { Classic, Framed, Undecided };
FrameStart frame_start(std::string_view received);

// Where the first request line in buffer (which starts with the magic) ends.
struct FrameScan {
    enum Status { Incomplete, Complete, TooLong } status = Incomplete;
    size_t consumed = 0;  // Complete: bytes of the frame, magic and line feed included
};
FrameScan scan_frame(std::string_view buffer);

// A decoded request line: its name and arguments.
struct FramedRequest {
    std::string name;
    std::vector<std::string> args;  // unescaped; positional first, then name=value
};

// Decodes the line between the magic and the line feed. On failure, error says why.
bool decode_request_line(std::string_view line, FramedRequest& out, std::string& error);

// The arguments of one request, checked against what the request accepts.
class RequestArgs {
public:
    // positional: how many leading arguments are positional (0 or 1); options: the
    // option names the request knows. Fails on a missing positional argument, a
    // malformed or unknown option, or an option given twice.
    RequestArgs(const FramedRequest& req, size_t positional, std::vector<std::string_view> options);

    bool ok() const { return error_.empty(); }
    const std::string& error() const { return error_; }
    // What is wrong with the arguments, as a usage failure.
    Failure failure() const;

    const std::string& positional() const { return positional_; }
    // The option's number, or fallback when absent; fails (error set) outside [min, max].
    int64_t number(std::string_view name, int64_t fallback, int64_t min, int64_t max);
    bool flag(std::string_view name, bool fallback);
    std::optional<std::string> text(std::string_view name) const;

private:
    std::string positional_;
    std::vector<std::pair<std::string, std::string>> options_;
    std::string error_;
};

// Parses a handle text of a framed request: lower- or upper-case hex digits only,
// 1 to 8 of them. Unlike the classic handle message, no sign, prefix or blanks.
std::optional<uint32_t> parse_framed_handle(std::string_view text);
