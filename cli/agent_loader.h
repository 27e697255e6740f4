// vorlan-cli with a pid: the agent in that process, found by its port file or loaded
// there through the VM's attach mechanism.
#pragma once

#include <string>

#include "cli_options.h"

// Whether a socket listens on 127.0.0.1:port (or on every address), read from
// /proc/net/tcp rather than by connecting, which the agent would see as a client.
bool portListening(int port);

// Sets options.port to the agent's in process options.pid. With --port given, the agent
// is loaded on that port when nothing listens there (and waited for); without, its port
// file names the port, or the agent is loaded on a port the system picks. Empty on
// success, else one line saying why.
std::string resolveAgentPort(CliOptions& options);
