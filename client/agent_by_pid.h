// From a pid to the agent's port, for every front end: the port file of an agent that
// listens in that VM already, or else the agent loaded through the attach mechanism
// (the system picks its port) and the port file it writes. Where the agent library is,
// when nobody says: beside the running program, installed or in the build tree.
#pragma once

#include <string>

#include "hotspot_attach.h"

struct AgentByPid {
    int port = 0;
    bool loadedNow = false;  // this call loaded the agent
    std::string error;       // one sentence when there is no port

    bool ok() const { return error.empty(); }
};

// The agent in process pid, loading agentLibrary (an absolute path) with options when
// none listens there. options without port= let the system pick the port.
AgentByPid agentByPid(long pid, const std::string& agentLibrary, const std::string& options = "");

// Loads agentLibrary into process pid with options. Empty on success; else one sentence.
// returnCode is the agent's own answer once the VM ran the load (0: it listens).
std::string loadAgentByPid(long pid, const std::string& agentLibrary, const std::string& options, int& returnCode);

// The agent library for a program at programPath: <dir>/../lib/vorlan/libvorlanagt.so (the
// package's layout), else <dir>/../agent/libvorlanagt.so (the build tree's); "" when
// neither is there.
std::string agentLibraryBeside(const std::string& programPath);

// $VORLAN_AGENT when set, else the one beside the running program (/proc/self/exe).
std::string defaultAgentLibrary();

// What to do instead when a VM cannot take the agent while it runs.
std::string agentAtStartHint(const std::string& agentLibrary);
