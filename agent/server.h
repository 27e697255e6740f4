// The command server thread: its listening socket on 127.0.0.1, and its start (the loop
// that serves the clients is command_loop).
#pragma once

#include "socket_fd.h"

struct Agent;

// The listening socket on 127.0.0.1 and the configured port, with its progress lines.
// Invalid when it cannot be set up: one line on standard error says why, and errno is
// the cause.
SocketFd open_listener(const Agent& agent);

// Thread entry at VM start: opens the listener, then serves. Returns only if the
// listening socket cannot be set up or fails; after "q" it ends the process.
void server(Agent& agent);
// Serves on a listener opened already (a load into a running VM opens it first, so the
// load can fail when the port is taken).
void serve_on(Agent& agent, SocketFd listener);
