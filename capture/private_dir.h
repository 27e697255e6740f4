// The directory a capture's pipe lives in: private to the user (0700, checked, never
// through a link), in memory-backed storage as the VM sees it (the VM writes its dump's
// parts beside the pipe from JDK 22 on, for as long as the dump takes), one per capture,
// named for the client that made it so that the next capture can sweep those of clients
// that died.
//
//   base: $XDG_RUNTIME_DIR/vorlan (when it is ours and in memory), else
//         /dev/shm/vorlan-UID (in the VM's mount namespace), else the VM's /tmp/vorlan-UID
//   each: capture-CLIENTPID-CLIENTSTART-VMPID-XXXXXX
#pragma once

#include <string>
#include <vector>

class PrivateDir {
public:
    // Sweeps the directories of captures whose client has gone, then makes a new one for
    // a capture of process vmPid. Throws CaptureError (local) saying why it cannot.
    static PrivateDir create(long vmPid);

    PrivateDir() = default;
    PrivateDir(PrivateDir&& other) noexcept;
    PrivateDir& operator=(PrivateDir&& other) noexcept;
    PrivateDir(const PrivateDir&) = delete;
    PrivateDir& operator=(const PrivateDir&) = delete;
    ~PrivateDir() { remove(); }

    const std::string& path() const { return path_; }  // as this process reaches it
    // A file in it as the VM names it (inside a container, without /proc/PID/root).
    std::string vmPath(const std::string& name) const { return vmPath_ + "/" + name; }
    bool memoryBacked() const { return memoryBacked_; }
    // The clients (their pids) of the other captures of the same VM at this moment.
    const std::vector<long>& otherCaptures() const { return others_; }

    // Removes everything in it, and it; the base too once empty.
    void remove();

private:
    std::string base_;
    std::string path_;
    std::string vmPath_;
    bool memoryBacked_ = false;
    std::vector<long> others_;
};

// Removes the capture directories in base whose client process has gone (or whose pid
// now names a process started later); how many.
size_t sweepStaleCaptures(const std::string& base);

// Removes every entry of dir and then dir, without allocating and with system calls
// only, so that a forked process may call it. A pipe in it has its read end opened
// first and held until the end: a VM waiting to open it for writing goes on, and then
// finds no reader. False when dir could not be removed.
bool removeCaptureDirectory(const char* dir) noexcept;
