// What /proc says about a local process: its owner, start time, pid inside its own pid
// namespace, whether it catches SIGQUIT, and its command line. Each reader of a text
// is a plain function, so it is tested without a process.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

struct ProcessInfo {
    long pid = 0;
    long namespacePid = 0;  // the pid it sees itself as (in a container, its own)
    uid_t uid = 0;          // effective user
    unsigned long long startTicks = 0;  // clock ticks after boot; tells a reused pid apart
    bool catchesQuit = false;           // a HotSpot VM catches SIGQUIT unless started with -Xrs
    char state = '?';                   // R, S, D, T (stopped), t (traced), Z...
    std::vector<std::string> commandLine;
};

// The process, or nullopt when there is none with that id.
std::optional<ProcessInfo> readProcess(long pid);

// The start time (field 22) of a /proc/PID/stat text; 0 when it has none.
unsigned long long startTicksOfStat(const std::string& statText);

// The state (field 3) of a /proc/PID/stat text; '?' when it has none.
char stateOfStat(const std::string& statText);

// From a /proc/PID/status text: the effective uid ("Uid:" second column), the innermost
// pid ("NSpid:" last column; the pid itself on kernels without it), and whether SIGQUIT
// is caught and not ignored ("SigCgt:", "SigIgn:"). False when the text lacks Uid.
bool readStatusText(const std::string& statusText, long pid, ProcessInfo& info);

// A user's name, or the uid as text when it has none.
std::string userName(uid_t uid);

// The whole of a small file, or nullopt when it cannot be read.
std::optional<std::string> readSmallFile(const std::string& path);
