// The command server thread: serves every connected client on 127.0.0.1, one request at
// a time.
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

// Ends the Java process with status 0 through the VM's orderly shutdown (shutdown hooks
// run), falling back to exit(0) when that cannot be done.
[[noreturn]] void end_process(Agent& agent);
