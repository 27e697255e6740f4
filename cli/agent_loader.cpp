#include "agent_loader.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>

#include "agent_by_pid.h"

namespace {

constexpr unsigned kListenState = 0x0A;
constexpr unsigned kLoopback = 0x0100007F;  // 127.0.0.1 as /proc/net/tcp prints it
constexpr auto kListenWait = std::chrono::seconds(10);

}  // namespace

bool portListening(int port)
{
    const unsigned wanted = static_cast<unsigned>(port) & 0xFFFFu;
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);  // the column titles
    while (std::getline(table, line)) {
        unsigned address = 0, localPort = 0, state = 0;
        // "  0: 0100007F:3039 00000000:0000 0A ..."
        if (std::sscanf(line.c_str(), " %*u: %x:%x %*x:%*x %x", &address, &localPort, &state) == 3 &&
            state == kListenState && localPort == wanted && (address == kLoopback || address == 0))
            return true;
    }
    return false;
}

std::string resolveAgentPort(CliOptions& options)
{
    const long pid = static_cast<long>(options.pid);
    const std::string prefix = "cannot load the agent into process " + std::to_string(pid) + ": ";
    if (!options.portGiven) {
        const AgentByPid agent = agentByPid(pid, defaultAgentLibrary());
        if (!agent.ok())
            return agent.error;  // names the process itself
        options.port = agent.port;
        return {};
    }
    if (portListening(options.port))
        return {};
    int returnCode = 0;
    const std::string failure =
        loadAgentByPid(pid, defaultAgentLibrary(), "port=" + std::to_string(options.port), returnCode);
    if (!failure.empty())
        return prefix + failure;
    const std::string where = "127.0.0.1:" + std::to_string(static_cast<unsigned>(options.port) & 0xFFFFu);
    if (returnCode > 0)
        return "the agent in process " + std::to_string(pid) + " cannot listen on " + where + ": " +
               std::strerror(returnCode);
    if (returnCode != 0)
        return prefix + "the load was refused (return code " + std::to_string(returnCode) +
               "; the program's standard error says why)";
    const auto deadline = std::chrono::steady_clock::now() + kListenWait;
    while (!portListening(options.port)) {
        if (std::chrono::steady_clock::now() > deadline)
            return "the agent was loaded into process " + std::to_string(pid) + " but does not listen on " + where +
                   " (the program's standard error may say why)";
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
}
