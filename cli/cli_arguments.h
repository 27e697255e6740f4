// vorlan-cli's command line: which options each command takes, and what is a usage error.
#pragma once

#include "cli_options.h"

struct ParsedArguments {
    CliCommand command;
    bool help = false;
    bool version = false;
    std::string error;  // a usage error, without the program's name; empty when none
};

ParsedArguments parseCliArguments(int argc, const char* const* argv);

extern const char* const kCliUsage;
