// The command server's loop: every connected client on one poll, one exchange at a
// time across all of them, each reply whole to the connection that asked.
#pragma once

#include "socket_fd.h"

struct Agent;

// Serves on the listener until it fails (returns) or a client sends "q" (ends the
// process).
void run_command_loop(Agent& agent, SocketFd listener);
