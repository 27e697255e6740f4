// Ending the Java program on "q".
#pragma once

struct Agent;

// Ends the Java process with status 0 through the VM's orderly shutdown (shutdown hooks
// run), falling back to exit(0) when that cannot be done.
[[noreturn]] void end_process(Agent& agent);
