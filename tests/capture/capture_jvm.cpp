#include "capture_jvm.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

std::string javaBinary()
{
    const char* java = getenv("VORLAN_TEST_JAVA");
    return java && *java ? java : VORLAN_JAVA;
}

std::string jcmdBinary()
{
    return (fs::path(javaBinary()).parent_path() / "jcmd").string();
}

int javaFeature()
{
    const CommandResult r = run_command({javaBinary(), "-version"});
    std::smatch m;
    if (std::regex_search(r.err, m, std::regex("version \"(\\d+)")))
        return std::stoi(m[1]);
    return 0;
}

std::string scratchDir()
{
    static const std::string dir = [] {
        std::string templ = "/tmp/vorlan-capture-test-XXXXXX";
        const std::string made = ::mkdtemp(templ.data());
        std::atexit([] { fs::remove_all(scratchDir()); });
        return made;
    }();
    return dir;
}

CaptureTargetJvm::CaptureTargetJvm(std::vector<std::string> flags, int ballast, bool withAgent)
    : watch_(scratchDir() + "/watch-" + std::to_string(std::rand())), port_(withAgent ? free_port() : 0),
      jvm_([&] {
          fs::create_directories(watch_);
          JvmLaunch launch;
          launch.load_agent = withAgent;
          if (withAgent)
              launch.agent_options = "port=" + std::to_string(port_);
          launch.main_class = "CaptureTarget";
          launch.jvm_flags = {"-Xmx512m"};
          launch.jvm_flags.insert(launch.jvm_flags.end(), flags.begin(), flags.end());
          launch.program_args = {"ballast=" + std::to_string(ballast), "watch=" + watch_};
          return launch;
      }())
{
    EXPECT_TRUE(jvm_.wait_for_output("ready", false, 60000)) << jvm_.err();
    if (withAgent) {
        EXPECT_TRUE(jvm_.wait_listening(port_));
    }
}

bool CaptureTargetJvm::swap()
{
    std::ofstream(watch_ + "/swap") << "now";
    return jvm_.wait_for_output("swapped");
}

namespace {

// Each run of these tests captures into a base of its own: the runs for two JDKs may go
// side by side, and a capture in one would sweep the dead client's directory another
// stages. The captures take $XDG_RUNTIME_DIR/vorlan when that is the user's own and in
// memory, as this directory is.
class OwnCaptureBase {
public:
    OwnCaptureBase() : runtime_("/dev/shm/vorlan-capture-tests-" + std::to_string(::getpid()))
    {
        if (::mkdir(runtime_.c_str(), 0700) == 0)
            ::setenv("XDG_RUNTIME_DIR", runtime_.c_str(), 1);
    }
    ~OwnCaptureBase()
    {
        std::error_code ignored;
        fs::remove_all(runtime_, ignored);
    }
    OwnCaptureBase(const OwnCaptureBase&) = delete;
    OwnCaptureBase& operator=(const OwnCaptureBase&) = delete;

private:
    std::string runtime_;
};

const OwnCaptureBase ownCaptureBase;

}  // namespace

std::string captureBase()
{
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"))
        return std::string(runtime) + "/vorlan";
    return "/dev/shm/vorlan-" + std::to_string(::geteuid());
}

namespace {

// The capture directories in base left for the VM pid, or by clients that are gone.
std::vector<std::string> leftovers(const std::string& base, pid_t pid)
{
    std::vector<std::string> left;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(base, ignored)) {
        const std::string name = entry.path().filename().string();
        std::smatch m;
        if (!std::regex_match(name, m, std::regex("capture-(\\d+)-\\d+-(\\d+)-.*")))
            continue;
        const bool clientAlive = ::kill(static_cast<pid_t>(std::stol(m[1])), 0) == 0;
        if (std::stol(m[2]) == pid || !clientAlive)
            left.push_back(name);
    }
    return left;
}

std::vector<std::string> allLeftovers(pid_t pid)
{
    std::vector<std::string> left;
    const std::string base = captureBase();
    for (const std::string& name : leftovers(base, pid))
        left.push_back(base + "/" + name);
    return left;
}

}  // namespace

bool noCaptureLeftQuietly(pid_t pid)
{
    return allLeftovers(pid).empty();
}

bool noCaptureLeft(pid_t pid)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (;;) {
        const std::vector<std::string> left = allLeftovers(pid);
        if (left.empty())
            return true;
        if (std::chrono::steady_clock::now() > deadline) {
            for (const std::string& path : left)
                ADD_FAILURE() << "left behind: " << path;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

pid_t deadPid()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

Child::Child(const std::vector<std::string>& argv) : dir_(scratchDir() + "/child-" + std::to_string(std::rand()))
{
    fs::create_directories(dir_);
    const std::string out = dir_ + "/out", err = dir_ + "/err";
    pid_ = ::fork();
    if (pid_ != 0)
        return;
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int in = ::open("/dev/null", O_RDONLY);
    ::dup2(o, 1);
    ::dup2(e, 2);
    ::dup2(in, 0);
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
}

Child::~Child()
{
    if (!exited()) {
        ::kill(pid_, SIGKILL);
        waitExit(5000);
    }
}

bool Child::exited()
{
    if (status_ >= 0)
        return true;
    int st = 0;
    if (::waitpid(pid_, &st, WNOHANG) != pid_)
        return false;
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return true;
}

bool Child::waitExit(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!exited()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::string Child::out() const { return read_file(dir_ + "/out"); }
std::string Child::err() const { return read_file(dir_ + "/err"); }
