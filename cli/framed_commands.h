// vorlan-cli's heap commands: show, histo, find, refs, path, each one framed request
// through the client library's session, printed as text or as one JSON document.
#pragma once

#include <ostream>

#include "agent_session.h"
#include "cli_options.h"

// Each returns the exit status: 0 on success, 1 with one line on err otherwise.
int cli_show(AgentSession& session, const CliCommand& c, std::ostream& out, std::ostream& err);
int cli_histo(AgentSession& session, const CliCommand& c, std::ostream& out, std::ostream& err);
int cli_find(AgentSession& session, const CliCommand& c, std::ostream& out, std::ostream& err);
int cli_refs(AgentSession& session, const CliCommand& c, std::ostream& out, std::ostream& err);
int cli_path(AgentSession& session, const CliCommand& c, std::ostream& out, std::ostream& err);
