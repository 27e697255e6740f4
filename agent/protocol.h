// Wire format shared with the viewer: one-letter commands, an optional handle text,
// a 32-byte decimal length header and a body of listing lines.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

constexpr size_t MSG_SIZE = 32;

// One received message. The extra byte keeps a full 32-byte message NUL-terminated.
struct Message {
    char text[MSG_SIZE + 1] = {};
    long count = 0;  // result of the receive: bytes, 0 for a closed peer, -1 for an error
};

enum class Action {
    Prepare,   // "p": new snapshot, then the root listing
    Listing,   // root listing (handle 0) or reference listing of handle
    Quit,      // "q": end the process without a reply
};

struct Request {
    Action action = Action::Listing;
    int32_t handle = 0;  // selected handle; 0 selects none
};

// True when the message is the one byte "e", after which the handle text comes as a
// message of its own. Any further byte in the same receive is that handle text merged
// into it (two sends can arrive as one), even when it starts with a NUL.
bool awaits_handle(const Message& m);

// Base-16 strtol semantics, saturated to 32 bits: leading blanks skipped, optional sign
// and "0x", stops at the first non-hex character.
int32_t parse_handle(const char* text);

// Decides what to do with a command message and, after a bare "e", the handle message
// that takes its place. An "e" merged with its handle text in one message is decided as
// the two messages would be: "eq" quits, "ep" prepares, "e1a2b" selects 1a2b.
Request decide_request(const Message& command, const Message* handle_msg);

// "%d" of the body length in a zeroed 32-byte header.
std::array<char, MSG_SIZE> format_header(size_t body_length);
