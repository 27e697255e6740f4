// The HPROF format, record by record, in one forward pass: framing, lengths and counts
// checked against what encloses them before anything is read or kept, so a truncated,
// corrupted or hostile dump ends in one HprofError at the byte where it goes wrong.
// What the records mean is the sink's business: the IndexBuilder, or the
// ObjectValueCollector that reads a few objects' values again.
#pragma once

#include <cstdint>
#include <functional>

#include "dump_input.h"

template <typename Sink>
class HprofReader {
public:
    // progress() is called about every progressEvery bytes.
    HprofReader(DumpInput& input, Sink& builder, std::function<void()> progress, uint64_t progressEvery);
    // Reads the header and every record up to the end of the stream.
    void read();

private:
    void readHeader();
    void readRecord();
    void readHeapDump(uint64_t end);
    void readClassDump(uint64_t at, uint64_t end);
    void readInstance(uint64_t at, uint64_t end);
    void readObjectArray(uint64_t at, uint64_t end);
    void readPrimitiveArray(uint64_t at, uint64_t end);
    void readRoot(uint8_t tag, uint64_t at, uint64_t end);

    // Fails unless n more bytes of the current sub-record fit before `end`.
    void need(uint64_t at, uint64_t end, uint64_t n) const
    {
        if (in_.position() + n > end)
            pastEnd(at, end);
    }
    [[noreturn]] void pastEnd(uint64_t at, uint64_t end) const;
    uint64_t id(const uint8_t* p) const { return loadId(p, idSize_); }
    void maybeProgress()
    {
        if (in_.position() >= nextProgress_)
            progressNow();
    }
    void progressNow();

    DumpInput& in_;
    Sink& builder_;
    std::function<void()> progress_;
    uint64_t progressEvery_;
    uint64_t nextProgress_;
    unsigned idSize_ = 8;
    bool sawHeapDump_ = false;
    bool sawSegment_ = false;
};
