// Cancelling a capture from another thread (a window's Cancel button, a signal handler's
// flag turned into a call): the capture polls fd() beside its pipe and attach socket, so
// it wakes at once, wherever it waits.
#pragma once

#include <atomic>

class CaptureCancel {
public:
    CaptureCancel();  // throws std::system_error when no pipe can be made
    ~CaptureCancel();
    CaptureCancel(const CaptureCancel&) = delete;
    CaptureCancel& operator=(const CaptureCancel&) = delete;

    // Safe from any thread, and from a signal handler (one write(2)).
    void cancel();
    bool cancelled() const { return cancelled_.load(); }
    // Readable once cancelled.
    int fd() const { return read_; }

private:
    std::atomic<bool> cancelled_{false};
    int read_ = -1;
    int write_ = -1;
};
