// Agent-wide settings and the agent's three output channels.
#pragma once

#include <cstdio>

// Set while the agent loads (options), read later by the server thread without locks.
struct AgentSettings {
    int debug = -1;     // -1 quiet, >= 0 progress lines, 1 also the detailed trace
    int port = 12345;   // low 16 bits are the TCP port
    int kind = 1;       // root-kind filter of the root listing
    int walkmem_mib = 256;  // what one framed request may keep per object inside the VM
};

extern AgentSettings settings;

// Destination of the detailed trace; standard output from load time on.
extern FILE* trace_stream;

// True when the detailed trace is on (debug level exactly 1).
inline bool tracing() { return settings.debug == 1; }

// Detailed trace: to trace_stream at debug level 1 only. A macro, so a quiet agent pays
// one comparison per trace point and never evaluates the arguments: walks reach a
// dozen trace points per reported object, a million objects at a time.
void trace_write(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
#define trace(...) (tracing() ? trace_write(__VA_ARGS__) : (void)0)
// Progress: to standard error from debug level 0 up.
void progress(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// A walk or collection that stopped the program for 100 ms or more: one progress line
// saying what it was and for how long.
void report_pause(const char* what, double ms);
// Flushes the trace stream at debug level 1.
void trace_flush();

// Low 32 bits of an address, for trace lines that print pointers with "%x".
unsigned addr32(const void* p);
