// The command server thread: serves every connected client on 127.0.0.1, one request at
// a time.
#pragma once

struct Agent;

// Thread entry. Returns only if the listening socket cannot be set up or fails; after
// "q" it ends the process.
void server(Agent& agent);

// Ends the Java process with status 0 through the VM's orderly shutdown (shutdown hooks
// run), falling back to exit(0) when that cannot be done.
[[noreturn]] void end_process(Agent& agent);
