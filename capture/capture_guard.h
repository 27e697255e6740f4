// What cleans up after a capture whose client was killed (SIGKILL: nothing of it runs
// again). Before the VM is asked, the client forks a small guard process of its own
// session (so a terminal's Ctrl-C does not reach it) that holds the pipe's read end and
// waits on a pipe from the client. When the client ends without saying it is done, the
// guard removes the private directory (the pipe in it, and from JDK 22 the dump's parts),
// the base directory when empty, and any partly written output file, then closes the
// read end: a VM that had not opened the pipe yet finds no directory, one that had gets
// EPIPE, and both go on. No file, pipe or process is left (the client reaps the guard;
// after the client's death, init does), and the VM never waits on a reader that is gone.
#pragma once

#include <sys/types.h>

#include <string>

class CaptureGuard {
public:
    CaptureGuard() = default;
    // Forks the guard, which holds pipeFd and will remove directory and extraFile (may be
    // empty). Throws CaptureError (local) when it cannot.
    CaptureGuard(int pipeFd, const std::string& directory, const std::string& extraFile);
    CaptureGuard(CaptureGuard&& other) noexcept;
    CaptureGuard& operator=(CaptureGuard&& other) noexcept;
    CaptureGuard(const CaptureGuard&) = delete;
    CaptureGuard& operator=(const CaptureGuard&) = delete;
    // Without release(), the guard cleans up as it would after the client's death.
    ~CaptureGuard();

    // The client has cleaned up itself: the guard ends without touching anything.
    void release();

private:
    void tell(char word);
    int control_ = -1;  // write end; the guard reads the other
    pid_t pid_ = -1;
};
