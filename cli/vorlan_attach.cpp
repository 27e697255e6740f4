// vorlan-attach: loads the Vorlan agent into a running Java VM through the VM's attach
// mechanism (no jcmd is started), then checks that it answers.
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "agent_by_pid.h"
#include "agent_port_file.h"
#include "agent_session.h"
#include "process_info.h"
#include "version.h"

namespace {

const char* const kUsage =
    "usage: vorlan-attach [--agent LIBRARY] PID [port=N,kind=K,debug=D]\n"
    "\n"
    "Loads libvorlanagt.so into the running Java VM with process id PID; its command server\n"
    "starts at once on 127.0.0.1, on a free port the system picks unless port= names one.\n"
    "The port is written to /tmp/.vorlan_pidPID, readable by the VM's user only, where\n"
    "vorlan-cli PID and vorlan PID find it.\n"
    "\n"
    "  --agent LIBRARY   the agent library (default: $VORLAN_AGENT, else the one installed\n"
    "                    or built beside this command)\n"
    "  -h, --help        this text\n"
    "  --version         the version\n"
    "\n"
    "The VM must run as your user and have its attach mechanism on; one started with\n"
    "-XX:+DisableAttachMechanism takes the agent only at start-up, with -agentpath.\n"
    "On JDK 21 and later the target VM warns about the dynamically loaded agent unless it\n"
    "was started with -XX:+EnableDynamicAgentLoading.\n";

int die(const std::string& why)
{
    std::cerr << "vorlan-attach: " << why << "\n";
    return 1;
}

int usageError()
{
    std::cerr << kUsage;
    return 2;
}

bool allDigits(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// The port= value of an option string, as the agent reads it: the last one counts.
int namedPort(const std::string& options)
{
    int port = 0;
    for (size_t at = 0; (at = options.find("port=", at)) != std::string::npos; at += 5)
        if (at == 0 || options[at - 1] == ',')
            port = std::atoi(options.c_str() + at + 5);
    return port & 0xFFFF;
}

// The port in the process's port file; 0 when it has none.
int listeningPort(long pid)
{
    const auto process = readProcess(pid);
    if (!process)
        return 0;
    const PortFileLookup file = readPortFile(*process);
    return file.state == PortFileState::found ? file.port : 0;
}

std::string selfPath()
{
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    return n > 0 ? std::string(self, static_cast<size_t>(n)) : "./vorlan-attach";
}

std::string absolute(const std::string& path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string agent;  // --agent, else $VORLAN_AGENT or the one beside this program
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-h" || a == "--help") {
            std::cout << kUsage;
            return 0;
        }
        if (a == "--version") {
            std::cout << "vorlan-attach " << vorlanVersion() << "\n";
            return 0;
        }
        if (a == "--agent") {
            if (i + 1 >= argc)
                return die("--agent needs a path");
            agent = argv[++i];
        } else if (a.rfind("--agent=", 0) == 0) {
            agent = a.substr(8);
        } else if (a.size() > 1 && a[0] == '-') {
            return usageError();
        } else {
            args.push_back(a);
        }
    }
    if (args.empty() || args.size() > 2)
        return usageError();
    const std::string pidText = args[0];
    const std::string options = args.size() > 1 ? args[1] : "";

    if (!allDigits(pidText))
        return die("'" + pidText + "' is not a process id");
    const long pid = pidText.size() > 10 ? 0 : std::atol(pidText.c_str());
    if (!readProcess(pid))
        return die("no process with id " + pidText);
    if (options.find_first_of("\" ") != std::string::npos)
        return die("options must not contain quotes or blanks: '" + options + "'");

    if (agent.empty()) {
        const char* fromEnvironment = std::getenv("VORLAN_AGENT");
        agent = fromEnvironment && *fromEnvironment ? fromEnvironment : agentLibraryBeside(selfPath());
        if (agent.empty()) {
            const std::string self = selfPath();
            const std::string here = self.substr(0, self.rfind('/'));
            return die("cannot find libvorlanagt.so beside " + here + "; give it with --agent");
        }
    }
    // The VM resolves the library from its own working directory: it needs an absolute path.
    if (::access(agent.c_str(), F_OK) != 0)
        return die("no agent library at '" + agent + "'");
    agent = absolute(agent);

    int returnCode = 0;
    const std::string failure = loadAgentByPid(pid, agent, options, returnCode);
    if (!failure.empty())
        return die(failure);
    const int requested = namedPort(options);
    if (returnCode != 0) {
        // A load into a running VM returns the cause (an errno value) when the agent could
        // not listen, and -1 when it refused the load.
        if (returnCode > 0 && returnCode < 256)
            return die("the agent in " + pidText + " cannot listen on 127.0.0.1:" + std::to_string(requested) +
                       ": " + std::strerror(returnCode) + " (return code " + std::to_string(returnCode) + ")");
        const int running = listeningPort(pid);
        return die("loading the agent into " + pidText + " failed: return code " + std::to_string(returnCode) +
                   (running ? " (an agent is loaded there already and listens on 127.0.0.1:" +
                                  std::to_string(running) + ")"
                            : " (the target's standard error may say more)"));
    }

    // The port file says where the agent listens, the system's choice included.
    int port = listeningPort(pid);
    if (port == 0)
        port = requested;
    if (port == 0)
        return die("the agent was loaded into " + pidText + ", but it wrote no port file to say where it listens");
    const std::string where = "127.0.0.1:" + std::to_string(port);
    AgentSession session(port);
    const ClientError hello = session.open();
    if (hello.failure == Failure::unreachable)
        return die("the agent was loaded into " + pidText + ", but nothing answers on " + where);
    if (hello.failed())
        return die("the agent was loaded into " + pidText + ", but what answers on " + where +
                   " is not a Vorlan agent that knows hello");
    std::cout << "vorlan agent loaded into " << pidText << "; it listens on " << where << "\n";
    return 0;
}
