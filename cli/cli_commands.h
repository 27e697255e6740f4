// What vorlan-cli does with the classic commands: list roots, expand one object, print
// a tree, quit. Types in the classic slash form; --json gives the same as one document.
#pragma once

#include <ostream>
#include <string>

#include "agent_client.h"
#include "cli_options.h"

// Each returns the exit status: 0 on success, 1 with one line on err otherwise.
int cli_roots(AgentClient& client, const CliOptions& o, std::ostream& out, std::ostream& err);
int cli_expand(AgentClient& client, const CliOptions& o, const std::string& handle, std::ostream& out,
               std::ostream& err);
// The tree below the roots (empty handle) or below one object.
int cli_tree(AgentClient& client, const CliOptions& o, const std::string& handle, std::ostream& out,
             std::ostream& err);
int cli_quit(AgentClient& client, const CliOptions& o, std::ostream& out, std::ostream& err);

// A listing line as vorlan-cli shows it: the handle, then the type name.
std::string describe_line(std::string_view line);
