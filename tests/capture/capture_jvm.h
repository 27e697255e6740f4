// What the live capture's tests against real JVMs share: the target program started on
// the JDK under test, jcmd beside it, child processes they start and kill, and whether a
// capture left anything behind.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "jvm_process.h"

std::string javaBinary();
std::string jcmdBinary();
int javaFeature();
// A directory of the test's own, removed at the process's end.
std::string scratchDir();

// CaptureTarget (tests/capture/java) on the JDK under test, ready.
class CaptureTargetJvm {
public:
    // ballast: small objects to make the dump big enough to be cut off; withAgent: the
    // agent loaded, listening on port(); swapping: the target watches for swap().
    explicit CaptureTargetJvm(std::vector<std::string> flags = {}, int ballast = 0, bool withAgent = false);
    pid_t pid() const { return jvm_.pid(); }
    int port() const { return port_; }
    // Has the target replace registry.sessions[3] by a Guest, and waits until it has.
    bool swap();

private:
    std::string watch_;
    int port_ = 0;
    JvmProcess jvm_;
};

// The directory private capture directories go in by default (/dev/shm/vorlan-UID).
std::string captureBase();
// No capture directory for the VM pid (nor for any client that is gone) is left, the
// base is gone or holds only those of other live captures, and no process of ours is
// left running but the test's own children. Waits up to two seconds for a killed
// client's guard to finish.
bool noCaptureLeft(pid_t pid);
// The same without waiting or failing the test: whether nothing is there right now.
bool noCaptureLeftQuietly(pid_t pid);

// A pid that names no process now.
pid_t deadPid();

// A program run in the background, its output in files; killed with the test.
class Child {
public:
    explicit Child(const std::vector<std::string>& argv);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    pid_t pid() const { return pid_; }
    bool exited();
    bool waitExit(int timeoutMs);
    int status() const { return status_; }  // exit status, or 128 + signal
    std::string out() const;
    std::string err() const;

private:
    std::string dir_;
    pid_t pid_ = -1;
    int status_ = -1;
};
