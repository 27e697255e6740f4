// vorlan-cli live OBJ --hprof FILE: an object of a heap dump found again in the running
// VM, along its path from its GC root, by the agent's follow request (live_chain.h).
#pragma once

#include <ostream>

#include "agent_session.h"
#include "cli_options.h"

// The exit status: 0 found, with its live handle and what it holds now; 1 with one line
// on err when the dump, the object or the agent fails, or when the chain no longer leads
// to the object (the text says at which step, the JSON has found false).
int cli_live(AgentSession& session, const CliCommand& c, std::ostream& out, std::ostream& err, bool progress);
