#include "protocol.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Texts compare as C strings: "q" followed by a NUL and anything is "q".
bool reads_as(const char* text, char c)
{
    return text[0] == c && text[1] == '\0';
}

}  // namespace

bool awaits_handle(const Message& m)
{
    return m.count == 1 && m.text[0] == 'e';
}

int32_t parse_handle(const char* text)
{
    long long v = strtoll(text, nullptr, 16);
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

Request decide_request(const Message& command, const Message* handle_msg)
{
    // After "e" the handle text takes the place of the command text. Two sends can merge
    // in TCP, so an "e" with more bytes behind it carries its handle text itself and is
    // read exactly as if the two had come apart.
    const char* text = command.text;
    if (handle_msg)
        text = handle_msg->text;
    else if (command.text[0] == 'e' && command.count > 1)
        text = command.text + 1;
    if (reads_as(text, 'p')) return {Action::Prepare, 0};
    if (reads_as(text, 'q')) return {Action::Quit, 0};
    if (text != command.text) return {Action::Listing, parse_handle(text)};
    return {Action::Listing, 0};
}

std::array<char, MSG_SIZE> format_header(size_t body_length)
{
    std::array<char, MSG_SIZE> header{};
    snprintf(header.data(), header.size(), "%zu", body_length);
    return header;
}
