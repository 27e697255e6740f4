#include "explorer_options.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "agent_by_pid.h"

namespace {

constexpr const char* kExploreWord = "explore";

bool readPort(const std::string& text, int& port)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (errno != 0 || value < 1 || value > 65535)
        return false;
    port = static_cast<int>(value);
    return true;
}

bool readPid(const std::string& text, long& pid)
{
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value < 1 || value > 2147483647LL)
        return false;
    pid = static_cast<long>(value);
    return true;
}

bool isNumber(const std::string& word)
{
    return !word.empty() && word.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

bool wantsExplorer(const std::vector<std::string>& args)
{
    return std::find(args.begin(), args.end(), kExploreWord) != args.end() ||
           std::any_of(args.begin(), args.end(), isNumber) ||
           std::any_of(args.begin(), args.end(), [](const std::string& w) { return w.rfind("hprof=", 0) == 0; });
}

bool parseExplorerOptions(const std::vector<std::string>& args, ExplorerOptions& options, std::string& error)
{
    bool portGiven = false;
    for (const std::string& word : args) {
        if (word == kExploreWord)
            continue;
        if (word.rfind("port=", 0) == 0) {
            portGiven = true;
            if (!readPort(word.substr(5), options.port)) {
                error = "port wants a number from 1 to 65535, not \"" + word.substr(5) + "\"";
                return false;
            }
            continue;
        }
        if (word.rfind("hprof=", 0) == 0) {
            if (!options.hprof.empty()) {
                error = "more than one heap dump file";
                return false;
            }
            options.hprof = word.substr(6);
            if (options.hprof.empty()) {
                error = "hprof wants a heap dump file, as in hprof=app.hprof";
                return false;
            }
            continue;
        }
        const bool pidWord = word.rfind("pid=", 0) == 0;
        if (pidWord || isNumber(word)) {
            const std::string text = pidWord ? word.substr(4) : word;
            if (options.pid != 0) {
                error = "more than one process id";
                return false;
            }
            if (!readPid(text, options.pid)) {
                error = "pid wants a process id, not \"" + text + "\"";
                return false;
            }
            continue;
        }
        error = "unknown word \"" + word + "\" (the explorer takes port=N or pid=PID)";
        return false;
    }
    options.portGiven = portGiven;
    if (options.pid != 0 && portGiven) {
        error = "give port=N or pid=PID, not both";
        return false;
    }
    return true;
}

bool resolveExplorerPort(ExplorerOptions& options, std::string& error)
{
    if (options.pid == 0)
        return true;
    const AgentByPid agent = agentByPid(options.pid, defaultAgentLibrary());
    if (!agent.ok()) {
        error = agent.error;
        return false;
    }
    options.port = agent.port;
    return true;
}
