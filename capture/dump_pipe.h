// The named pipe the VM writes its heap dump into, and the stream read from it while the
// VM writes. The read end is opened before the VM is asked, so the VM's open never waits
// for a reader; the pipe's buffer is made as large as the system allows, so the VM's
// writes rarely wait for the reader either.
#pragma once

#include <cstdint>
#include <string>

#include "vm_dump_stream.h"

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

// The dump as the VM writes it into the pipe. The stream ends when the VM has closed
// the pipe.
class DumpStream : public VmDumpStream {
public:
    DumpStream(DumpPipe& pipe, AttachExchange& exchange, const CaptureCancel* cancel, const CaptureCancel* stop);

    size_t read(uint8_t* buffer, size_t size) override;

private:
    DumpPipe& pipe_;
    bool writerSeen_ = false;  // a writer has had the pipe open: a read of 0 is its end
};
