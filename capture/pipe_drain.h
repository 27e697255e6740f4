// Reads the dump's pipe on a thread of its own into memory, ahead of the reader: the
// VM's writes then wait neither for the reader's work nor for the machine's other load
// on the reader's core, and the pause stays the dumper's own. The bytes waiting are
// bounded (limitBytes); past the bound the pipe fills and the VM waits after all. The
// thread ends with the stream, on an error (rethrown to the reader) or when the drain
// is destroyed.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "byte_source.h"
#include "capture_cancel.h"

class PipeDrain : public ByteSource {
public:
    // source: read only on the drain's thread; it must wake when stop() is cancelled.
    PipeDrain(ByteSource& source, CaptureCancel& stop, size_t limitBytes);
    ~PipeDrain() override;
    PipeDrain(const PipeDrain&) = delete;
    PipeDrain& operator=(const PipeDrain&) = delete;

    size_t read(uint8_t* buffer, size_t size) override;
    uint64_t consumed() const override;

    // The most bytes that waited at once, for benchmarks.
    size_t mostWaiting() const;
    // Holds no more than bytes from now on (once the VM's pause is over, reading far
    // ahead spares it nothing), and lets go of the spare memory beyond that.
    void lowerLimit(size_t bytes);

private:
    struct Chunk {
        std::unique_ptr<uint8_t[]> bytes;
        size_t size = 0;
    };
    void drain();

    ByteSource& source_;
    CaptureCancel& stop_;
    size_t limit_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Chunk> full_;     // read from the pipe, in order
    std::vector<Chunk> spare_;  // read out, kept to be filled again
    size_t frontOffset_ = 0;    // of full_.front() already read out
    size_t waiting_ = 0;
    size_t mostWaiting_ = 0;
    uint64_t consumed_ = 0;
    bool ended_ = false;
    std::exception_ptr error_;
    std::thread thread_;
};
