// vorlan-cli --pid: loading the agent into a running program when nothing listens on
// the port yet, with the vorlan-attach script that sits beside vorlan-cli.
#pragma once

#include <string>

// Whether a socket listens on 127.0.0.1:port (or on every address), read from
// /proc/net/tcp rather than by connecting, which the agent would see as a client.
bool portListening(int port);

// vorlan-attach beside the running program.
std::string attachCommandPath();

// Runs "ATTACH PID port=PORT" and waits until the agent listens. Empty on success,
// else one line saying why (vorlan-attach's own explanation when it gave one).
std::string loadAgent(const std::string& attach, long long pid, int port);
