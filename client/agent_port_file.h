// Reading the port file an agent writes for its VM (/tmp/.vorlan_pid<PID>, mode 0600,
// "port=P\nstart=S\n"): the way to the agent when only a pid is known. A file of another
// user is never opened; a file whose process is gone or started at another time (a
// reused pid) is stale, and removed when it is ours.
#pragma once

#include <string>

#include "process_info.h"

enum class PortFileState {
    absent,   // no file: no agent listens in that VM (or it was loaded before files existed)
    found,    // port is the agent's
    stale,    // left by a VM that is gone; removed if ours
    foreign,  // another user's file, or not a plain file: not read
    unreadable,
};

struct PortFileLookup {
    PortFileState state = PortFileState::absent;
    int port = 0;
    std::string path;
    std::string why;  // for foreign and unreadable
};

// The VM's /tmp as seen from here: /tmp for a VM in our mount namespace, the
// container's (/proc/PID/root/tmp) for one in another; /tmp when that cannot be entered.
std::string vmTempDirectory(long pid);

// The port file's path for a VM.
std::string portFilePath(const std::string& tempDirectory, long namespacePid);

// Reads "port=P\nstart=S\n" (keys in any order, unknown keys skipped). False when a key
// is missing or a value is no number in range.
bool parsePortFileText(const std::string& text, int& port, unsigned long long& startTicks);

// Looks up the port file of process at path; removes it when stale and ours.
PortFileLookup readPortFileAt(const std::string& path, const ProcessInfo& process);

// The same for the live process: its file in its own /tmp.
PortFileLookup readPortFile(const ProcessInfo& process);

// Removes every port file of ours in directory whose process is gone or started at
// another time. Returns how many it removed.
int removeStalePortFiles(const std::string& directory = "/tmp");
