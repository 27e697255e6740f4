// The escapes of framed requests and record bodies, so that any bytes travel as plain
// ASCII split only at TAB and line feed (see docs/protocol.md).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// A request argument as it goes on the wire: \\ \t \n \r, and \xHH for every other byte
// outside printable ASCII, so the request line is ASCII whatever the argument holds.
std::string escapeArgument(std::string_view bytes);

// A record field as the agent escaped it, back to UTF-8: \\ \t \n \r \xHH, and \uXXXX
// per UTF-16 unit with surrogate pairs joined and lone surrogates as U+FFFD. An escape
// the protocol does not have is kept as it stands rather than guessed at.
std::string unescapeField(std::string_view wire);

// Appends code point cp (at most U+10FFFF) in UTF-8.
void appendUtf8(std::string& out, uint32_t cp);
