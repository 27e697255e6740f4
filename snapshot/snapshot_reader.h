// Reading a HotSpot heap dump into a HeapIndex: one forward pass over a file, a pipe
// (the VM writing into a FIFO) or a gzip stream of either, then the references resolved
// and the shallow sizes computed as the VM counts them.
//
//   HeapIndex index = readHeapDumpFile("app.hprof");              // plain or gzip
//   FdSource fifo(fd); HeapIndex live = readHeapDump(fifo, opts); // while the VM writes
//
// Errors (a truncated, corrupted or hostile dump) are one HprofError naming the byte.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "byte_source.h"
#include "heap_index.h"
#include "vm_layout.h"

enum class ReadPhase : uint8_t { Reading, Resolving, Sizing, Done };
const char* readPhaseName(ReadPhase phase);  // "reading", "resolving references"...

struct ReadProgress {
    ReadPhase phase = ReadPhase::Reading;
    uint64_t dumpBytes = 0;    // bytes of the HPROF stream read (inflated, for gzip)
    uint64_t sourceBytes = 0;  // bytes taken from the file or pipe
    uint64_t sourceTotal = 0;  // the file's size; 0 when not known (a pipe)
    uint64_t objects = 0;
};

struct ReadOptions {
    // The VM's layout settings when known (a live capture can ask the VM); otherwise they
    // are inferred from the spacing of the objects.
    std::optional<VmLayout> layout;
    // Called at each phase and about every progressEveryBytes while reading.
    std::function<void(const ReadProgress&)> progress;
    uint64_t progressEveryBytes = 16u << 20;
    uint64_t sourceTotal = 0;  // for progress: the size the source will have, if known
    // An analysis follows: while reading, memory it will need (within what its peak will
    // be anyway) is faulted in ahead on a low-priority thread and given back when reading
    // ends, so that the arrays asked for next find pages at hand (see warm_pages.h).
    bool warmAhead = false;
    // When set, warming waits until it says yes; asked on the warming thread.
    std::function<bool()> warmWhen;
    // When warming: the most bytes held, for benchmarks; written by the read.
    uint64_t* warmedBytes = nullptr;
    // The file the dump is read from, if it can be read again: a thread's name the one
    // pass could not follow (its String came long before the thread) is looked up there.
    std::string rereadPath;
};

HeapIndex readHeapDump(ByteSource& source, const ReadOptions& options = {});
// A dump file, plain or gzip; SourceError if it cannot be opened.
HeapIndex readHeapDumpFile(const std::string& path, ReadOptions options = {});
