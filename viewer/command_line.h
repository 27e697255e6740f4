// The viewer's command line: blank-separated key=value words setting the port and the
// debug level. Plain C++ so every front end reads it the same way.
#pragma once

#include <string>
#include <string_view>

#include "decimal_value.h"

constexpr int kDefaultPort = 12345;
constexpr int kMaxWords = 10;

struct ViewerOptions {
    int debug = 0;             // 1 turns the log on; every other value means no log
    int port = kDefaultPort;   // only the low 16 bits reach the socket
};

// The program's arguments (without the program name) joined by single blanks, with
// leading blanks and tabs removed, so blank-only arguments give the empty text.
std::string joinArguments(int argc, const char* const* argv);

// Applies the words of line to options: `port` sets the port wherever it stands, and
// every word sets the debug level (to its value for `debug`, to -1 otherwise), so the
// last word decides it. Words past the tenth are ignored; an empty line means level -1.
void parseCommandLine(std::string_view line, ViewerOptions& options);
