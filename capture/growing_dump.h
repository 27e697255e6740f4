// The file in memory-backed storage the VM writes its heap dump into, read as it grows.
// Where the VM writes its whole dump during the pause (before JDK 22), a pipe makes every
// write of the VM a copy into the pipe and a wake-up of the reader, and a full pipe makes
// the VM wait; writing into a file costs the VM what a dump to any memory-backed file
// costs, however the reader keeps pace. The reader follows behind, told of each write by
// inotify, and gives the pages it has read back to the system as it goes (holes punched
// behind it), so the file holds only what the VM has written ahead of the reader.
//
// The file is made before the VM is asked (mode 0600; the VM truncates it, with
// -overwrite, and writes); its name is removed once the VM has written into it, so
// nothing is left on disk even if this process dies. A VM still writing into it after
// the capture is abandoned finishes its dump into the unnamed file, which goes when the
// VM closes it.
#pragma once

#include <cstdint>
#include <string>

#include "vm_dump_stream.h"

class GrowingDump {
public:
    // Makes the file at path and opens it for reading and for punching holes. Throws
    // CaptureError.
    explicit GrowingDump(const std::string& path);
    ~GrowingDump() { close(); }
    GrowingDump(const GrowingDump&) = delete;
    GrowingDump& operator=(const GrowingDump&) = delete;

    int fd() const { return fd_; }
    // An inotify descriptor readable when the VM has written or closed the file; -1
    // where inotify is not to be had (the stream then looks every few milliseconds).
    int watch() const { return watch_; }
    const std::string& path() const { return path_; }
    void unlinkPath();
    void close();

private:
    std::string path_;
    int fd_ = -1;
    int watch_ = -1;
    bool linked_ = false;
};

// The dump as the VM writes it into the file. The stream ends once the VM has answered
// (it answers after its last write) and everything in the file has been read.
class GrowingDumpStream : public VmDumpStream {
public:
    GrowingDumpStream(GrowingDump& file, AttachExchange& exchange, const CaptureCancel* cancel,
                      const CaptureCancel* stop);

    size_t read(uint8_t* buffer, size_t size) override;

    // The most bytes the VM had written ahead of the reader, held in the file.
    uint64_t mostAhead() const { return mostAhead_; }

private:
    void giveBackRead();
    void emptyWatch();

    GrowingDump& file_;
    uint64_t released_ = 0;  // bytes at the file's start already given back
    uint64_t mostAhead_ = 0;
};
