#include "agent_by_pid.h"

#include <unistd.h>

#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "agent_port_file.h"
#include "process_info.h"

namespace {

constexpr const char* kLibraryName = "libvorlanagt.so";
constexpr const char* kInstalledPlace = "/../lib/vorlan/";
constexpr const char* kBuildTreePlace = "/../agent/";

std::string directoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string canonical(const std::string& path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// A VM in another network namespace (a container without the host's network) listens
// on its own 127.0.0.1, which cannot be reached from here.
bool sameNetwork(long pid)
{
    std::array<char, 128> ours{}, theirs{};
    const std::string link = "/proc/" + std::to_string(pid) + "/ns/net";
    if (::readlink("/proc/self/ns/net", ours.data(), ours.size() - 1) < 0 ||
        ::readlink(link.c_str(), theirs.data(), theirs.size() - 1) < 0)
        return true;
    return std::strcmp(ours.data(), theirs.data()) == 0;
}

}  // namespace

std::string agentAtStartHint(const std::string& agentLibrary)
{
    return "start it with -agentpath:" + (agentLibrary.empty() ? std::string("/usr/lib/vorlan/libvorlanagt.so")
                                                               : agentLibrary) +
           " instead";
}

std::string loadAgentByPid(long pid, const std::string& agentLibrary, const std::string& options, int& returnCode)
{
    returnCode = 0;
    if (agentLibrary.empty())
        return "cannot find libvorlanagt.so beside this program";
    const AttachResult loaded = loadAgentLibrary(pid, agentLibrary, options, returnCode);
    if (!loaded.ok())
        return loaded.message + (loaded.agentAtStartHelps() ? "; " + agentAtStartHint(agentLibrary) : "");
    return {};
}

AgentByPid agentByPid(long pid, const std::string& agentLibrary, const std::string& options)
{
    AgentByPid found;
    const auto process = readProcess(pid);
    if (!process) {
        found.error = "no process with id " + std::to_string(pid);
        return found;
    }
    if (process->uid != ::geteuid()) {
        const std::string user = userName(process->uid);
        found.error = "process " + std::to_string(pid) + " belongs to user " + user +
                      ", and a VM lets only its own user attach: run this as " + user;
        return found;
    }
    if (!sameNetwork(pid)) {
        found.error = "process " + std::to_string(pid) +
                      " runs in another network namespace (a container), whose 127.0.0.1 cannot be reached "
                      "from here; run this inside it";
        return found;
    }
    PortFileLookup file = readPortFile(*process);
    if (file.state == PortFileState::found) {
        found.port = file.port;
        return found;
    }
    if (file.state == PortFileState::foreign) {
        found.error = file.why + ", so it is not read";
        return found;
    }

    int returnCode = 0;
    found.error = loadAgentByPid(pid, agentLibrary, options, returnCode);
    if (!found.ok())
        return found;
    if (returnCode != 0) {
        found.error = "the agent could not start in process " + std::to_string(pid) + " (it returned " +
                      std::to_string(returnCode) +
                      (returnCode > 0 ? ": " + std::string(std::strerror(returnCode)) : std::string()) +
                      (returnCode == -1 ? ": it may be there already, listening on a port it was given at start-up"
                                        : std::string()) +
                      "); the program's standard error says more";
        return found;
    }
    // The agent writes its file before the load returns.
    file = readPortFile(*process);
    if (file.state != PortFileState::found) {
        found.error = "the agent was loaded into process " + std::to_string(pid) +
                      " but wrote no port file (" + file.path + "); the program's standard error says why";
        return found;
    }
    found.port = file.port;
    found.loadedNow = true;
    return found;
}

std::string agentLibraryBeside(const std::string& programPath)
{
    const std::string dir = directoryOf(programPath);
    for (const char* place : {kInstalledPlace, kBuildTreePlace}) {
        const std::string candidate = canonical(dir + place + kLibraryName);
        if (!candidate.empty() && ::access(candidate.c_str(), R_OK) == 0)
            return candidate;
    }
    return {};
}

std::string defaultAgentLibrary()
{
    const char* named = std::getenv("VORLAN_AGENT");
    if (named && *named) {
        const std::string path = canonical(named);
        return path.empty() ? named : path;
    }
    return agentLibraryBeside(canonical("/proc/self/exe"));
}
