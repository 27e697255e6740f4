#include "protocol.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bool is_command(const Message& m, char c)
{
    return m.text[0] == c && m.text[1] == '\0';
}

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
    const Message& m = handle_msg ? *handle_msg : command;
    if (is_command(m, 'p')) return {Action::Prepare, 0};
    if (is_command(m, 'q')) return {Action::Quit, 0};
    if (handle_msg) return {Action::Listing, parse_handle(handle_msg->text)};
    // Two sends can merge in TCP: "e" directly followed by the handle text.
    if (command.text[0] == 'e' && command.count > 1)
        return {Action::Listing, parse_handle(command.text + 1)};
    return {Action::Listing, 0};
}

std::array<char, MSG_SIZE> format_header(size_t body_length)
{
    std::array<char, MSG_SIZE> header{};
    snprintf(header.data(), header.size(), "%zu", body_length);
    return header;
}
