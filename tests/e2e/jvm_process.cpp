#include "jvm_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

namespace {

std::string java_binary()
{
    const char* override_java = getenv("VORLAN_TEST_JAVA");
    return override_java && *override_java ? override_java : VORLAN_JAVA;
}

std::string agent_library()
{
    const char* override_agent = getenv("VORLAN_TEST_AGENT");
    return override_agent && *override_agent ? override_agent : VORLAN_AGENT_PATH;
}

bool poll_until(int timeout_ms, const std::function<bool()>& done)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < end) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

// Starts argv with standard output and error in files, standard input empty. The child
// dies with the test binary, so a crashed or timed-out test leaves no process behind.
pid_t spawn(const std::vector<std::string>& argv, const std::string& out, const std::string& err,
            const std::string& cwd = ".", const std::vector<std::pair<std::string, std::string>>& environment = {})
{
    pid_t pid = fork();
    if (pid != 0) return pid;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (chdir(cwd.c_str()) != 0) _exit(126);
    int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int in = open("/dev/null", O_RDONLY);
    dup2(o, 1);
    dup2(e, 2);
    dup2(in, 0);
    for (auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

std::string make_temp_dir(const char* prefix)
{
    std::string tmpl = std::string("/tmp/") + prefix + "-XXXXXX";
    return mkdtemp(tmpl.data());
}

}  // namespace

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

int free_port()
{
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

bool port_listening(int port)
{
    std::ifstream tcp("/proc/net/tcp");
    std::string line;
    std::getline(tcp, line);  // header
    char local_loop[32], local_any[32];
    snprintf(local_loop, sizeof local_loop, "0100007F:%04X", port);
    snprintf(local_any, sizeof local_any, "00000000:%04X", port);
    while (std::getline(tcp, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (state == "0A" && (local == local_loop || local == local_any)) return true;
    }
    return false;
}

JvmProcess::JvmProcess(const JvmLaunch& launch)
{
    dir_ = make_temp_dir("vorlan-e2e");

    // Newer JDKs warn on standard error about the JNI pin library unless native access is granted.
    // VORLAN_TEST_GC picks the collector (a flag such as -XX:+UseZGC); without it the
    // VM chooses its own (G1).
    const char* gc = getenv("VORLAN_TEST_GC");
    std::vector<std::string> args = {java_binary()};
    if (gc && *gc) args.push_back(gc);
    args.push_back("--enable-native-access=ALL-UNNAMED");
    std::string agent = "-agentpath:" + (launch.agent_library.empty() ? agent_library() : launch.agent_library);
    if (launch.agent_options) agent += "=" + *launch.agent_options;
    if (launch.load_agent) args.push_back(agent);
    for (auto& f : launch.jvm_flags) args.push_back(f);
    args.push_back(std::string("-Djava.library.path=") + VORLAN_PIN_DIR);
    args.push_back("-Dvorlan.marker=" + marker_path());
    args.push_back("-cp");
    args.push_back(VORLAN_TEST_CLASSES);
    args.push_back(launch.main_class);
    for (auto& a : launch.program_args) args.push_back(a);

    auto environment = launch.environment;
    // A sanitized agent needs its runtime loaded first, in the JVM only.
    const char* preload = getenv("VORLAN_TEST_PRELOAD");
    if (preload && *preload) environment.emplace_back("LD_PRELOAD", preload);
    pid_ = spawn(args, dir_ + "/stdout", dir_ + "/stderr", ".", environment);
}

JvmProcess::~JvmProcess()
{
    std::string e = err();
    size_t report = e.find("ERROR: AddressSanitizer");
    if (report == std::string::npos) report = e.find("runtime error:");
    if (report != std::string::npos) ADD_FAILURE() << "sanitizer report from the JVM:\n" << e.substr(report, 4000);
    if (running()) {
        kill(pid_, SIGKILL);
        wait_exit(10000);
        // What the agent leaves when it is not let to exit: its port file; and the VM,
        // its attach socket, which a later process given the same pid would be asked
        // through (jcmd then fails with "Connection refused").
        unlink(("/tmp/.vorlan_pid" + std::to_string(pid_)).c_str());
        unlink(("/tmp/.java_pid" + std::to_string(pid_)).c_str());
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

bool JvmProcess::wait_listening(int port, int timeout_ms) const
{
    return poll_until(timeout_ms, [&] { return port_listening(port); });
}

bool JvmProcess::wait_for_output(const std::string& text, bool error_stream, int timeout_ms) const
{
    return poll_until(timeout_ms, [&] { return (error_stream ? err() : out()).find(text) != std::string::npos; });
}

std::optional<int> JvmProcess::wait_exit(int timeout_ms)
{
    poll_until(timeout_ms, [&] { return !running(); });
    return status_;
}

bool JvmProcess::running()
{
    if (status_ || pid_ <= 0) return false;
    int st = 0;
    if (waitpid(pid_, &st, WNOHANG) == pid_) {
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return false;
    }
    return true;
}

std::string JvmProcess::out() const { return read_file(dir_ + "/stdout"); }
std::string JvmProcess::err() const { return read_file(dir_ + "/stderr"); }

CommandResult run_command(const std::vector<std::string>& argv, const std::string& cwd)
{
    std::string dir = make_temp_dir("vorlan-cmd");
    pid_t pid = spawn(argv, dir + "/out", dir + "/err", cwd);
    CommandResult r;
    int st = 0;
    waitpid(pid, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    r.out = read_file(dir + "/out");
    r.err = read_file(dir + "/err");
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return r;
}

bool collector_clears_soft_references()
{
    const char* gc = getenv("VORLAN_TEST_GC");
    return gc && std::string(gc).find("Shenandoah") != std::string::npos;
}
