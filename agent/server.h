// The command server thread: serves one viewer connection at a time on 127.0.0.1.
#pragma once

// Thread entry. Returns only if the listening socket cannot be set up; after "q" it
// ends the process.
void server();

// Ends the Java process with status 0 through the VM's orderly shutdown (shutdown hooks
// run), falling back to exit(0) when that cannot be done.
[[noreturn]] void end_process();
