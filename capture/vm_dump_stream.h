// What the capture reads the VM's dump through, whatever the VM writes into (a pipe, or
// a file in memory-backed storage read as it grows): the stream's bytes, and the VM's
// answer to the dump request, waited on together with two cancel pipes (the caller's,
// and the capture's own for stopping a thread). An error answer from the VM, or a
// cancel, throws CaptureError at once.
#pragma once

#include <cstdint>

#include "byte_source.h"
#include "hotspot_attach.h"

class CaptureCancel;

class VmDumpStream : public ByteSource {
public:
    uint64_t consumed() const override { return consumed_; }

    // Waits for the VM's answer (after the stream's end it comes at once) and returns it.
    // Throws CaptureError on a cancel.
    AttachResult answer();
    bool answered() const { return answered_; }
    // Every byte the VM wrote has been read.
    bool ended() const { return ended_; }

protected:
    VmDumpStream(AttachExchange& exchange, const CaptureCancel* cancel, const CaptureCancel* stop);

    // Waits until fd has something (its poll events are returned) or the VM's answer has
    // come (0 is returned), or timeoutMs have passed (-1: no limit). Throws on a cancel,
    // and on an error answer.
    short wait(int fd, int timeoutMs = -1);

    uint64_t consumed_ = 0;
    bool ended_ = false;

private:
    void readAnswer();

    AttachExchange& exchange_;
    const CaptureCancel* cancels_[2];
    bool answered_ = false;
    AttachResult answer_;
};
