// The named pipe the VM writes its heap dump into, and the stream read from it while the
// VM writes. The read end is opened before the VM is asked, so the VM's open never waits
// for a reader; the pipe's buffer is made as large as the system allows, so the VM's
// writes rarely wait for the reader either.
#pragma once

#include <cstdint>
#include <string>

#include "byte_source.h"
#include "hotspot_attach.h"

class CaptureCancel;

class DumpPipe {
public:
    // Makes the pipe at path (mode 0600) and opens its read end. Throws CaptureError.
    explicit DumpPipe(const std::string& path);
    ~DumpPipe() { close(); }
    DumpPipe(const DumpPipe&) = delete;
    DumpPipe& operator=(const DumpPipe&) = delete;

    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    size_t bufferBytes() const { return bufferBytes_; }
    // Removes the name once the VM has the pipe open: nothing is left on disk even if
    // this process dies.
    void unlinkPath();
    // Closes the read end: a VM still writing gets EPIPE.
    void close();

private:
    std::string path_;
    int fd_ = -1;
    size_t bufferBytes_ = 0;
    bool linked_ = false;
};

// The dump as the VM writes it, waiting on the pipe, the VM's answer to the dump request
// and two cancel pipes (the caller's, and the capture's own for stopping its thread) at
// once. The stream ends when the VM has closed the pipe; an error answer from the VM, or
// a cancel, throws CaptureError at once.
class DumpStream : public ByteSource {
public:
    DumpStream(DumpPipe& pipe, AttachExchange& exchange, const CaptureCancel* cancel, const CaptureCancel* stop);

    size_t read(uint8_t* buffer, size_t size) override;
    uint64_t consumed() const override { return consumed_; }

    // Waits for the VM's answer (after the stream's end it comes at once) and returns it.
    // Throws CaptureError on a cancel.
    AttachResult answer();
    bool answered() const { return answered_; }
    // The VM has closed the pipe: every byte it wrote has been read.
    bool ended() const { return ended_; }

private:
    // Waits until the pipe or the answer has something, or throws on a cancel.
    void wait(bool forPipe);
    void readAnswer();

    DumpPipe& pipe_;
    AttachExchange& exchange_;
    const CaptureCancel* cancels_[2];
    uint64_t consumed_ = 0;
    bool writerSeen_ = false;  // a writer has had the pipe open: a read of 0 is its end
    bool answered_ = false;
    bool ended_ = false;
    AttachResult answer_;
};
