// The classic commands p, e and q, one exchange at a time: the snapshot work while
// attached to the VM, the listing sent with its trace, and after a "p" the sweep of the
// handles no client can name any more.
#pragma once

#include "connection_input.h"
#include "socket_fd.h"

struct Agent;

enum class ClassicOutcome {
    Sent,     // the listing went out
    Dropped,  // it could not be sent: the connection is done
    Quit,     // "q": the snapshot is released; the caller closes its sockets and ends the process
};

ClassicOutcome serve_classic(Agent& agent, const SocketFd& client, const Exchange& e);
