// vorlan-cli dump FILE: the VM's heap dump, captured live as the other heap commands
// capture it, written to FILE (mode 0600) for later or for other tools.
#pragma once

#include <ostream>

#include "cli_options.h"

// The exit status: 0 written; 1 with one line on err; 130 when interrupted.
int cli_dump(const CliCommand& c, std::ostream& out, std::ostream& err, bool errIsTerminal);
