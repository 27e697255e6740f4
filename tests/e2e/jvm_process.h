// A Java VM started for a test, with its output captured in a temporary directory.
#pragma once

#include <sys/types.h>

#include <optional>
#include <utility>
#include <string>
#include <vector>

struct JvmLaunch {
    std::optional<std::string> agent_options;  // nullopt: -agentpath without "="
    std::vector<std::string> program_args;
    bool load_agent = true;
    std::string main_class = "HeapTarget";
    std::vector<std::string> jvm_flags;
    std::vector<std::pair<std::string, std::string>> environment;  // set in the JVM only
    std::string agent_library;  // empty: the agent under test
};

class JvmProcess {
public:
    explicit JvmProcess(const JvmLaunch& launch);
    // Starts HeapTarget with the agent and agent_options, or without any agent when
    // load_agent is false.
    JvmProcess(std::optional<std::string> agent_options, std::vector<std::string> program_args = {},
               bool load_agent = true)
        : JvmProcess(JvmLaunch{std::move(agent_options), std::move(program_args), load_agent, "HeapTarget", {}, {}, {}})
    {
    }
    ~JvmProcess();
    JvmProcess(const JvmProcess&) = delete;
    JvmProcess& operator=(const JvmProcess&) = delete;

    // Waits until something listens on 127.0.0.1:port, without connecting to it.
    bool wait_listening(int port, int timeout_ms = 30000) const;
    // Waits until standard output (or error) contains text.
    bool wait_for_output(const std::string& text, bool error_stream = false, int timeout_ms = 30000) const;
    // Exit status once the process has ended within timeout_ms; nullopt if still running.
    std::optional<int> wait_exit(int timeout_ms);
    bool running();

    std::string out() const;
    std::string err() const;
    std::string marker_path() const { return dir_ + "/marker"; }
    pid_t pid() const { return pid_; }

private:
    std::string dir_;
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// A TCP port on 127.0.0.1 that nothing listens on at the moment.
int free_port();
// True when a socket listens on 127.0.0.1:port (or on every address).
bool port_listening(int port);
std::string read_file(const std::string& path);
// Whether the collector the tests run on (VORLAN_TEST_GC) clears every soft reference at
// an explicit collection, as Shenandoah does: then nothing stays held softly once the
// agent has asked for one.
bool collector_clears_soft_references();

struct CommandResult {
    int status = -1;
    std::string out;
    std::string err;
};
// Runs argv[0] with its arguments in directory cwd and waits for it.
CommandResult run_command(const std::vector<std::string>& argv, const std::string& cwd = ".");
