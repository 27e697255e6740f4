#include "snapshot_reader.h"

#include <atomic>
#include <memory>
#include <system_error>

#include "dump_input.h"
#include "hprof_reader.h"
#include "index_builder.h"
#include "large_arrays.h"
#include "warm_pages.h"

namespace {

// How much the process may hold while it reads for an analysis to follow, warmed pages
// included: a little under the analysis's own peak per object read so far (the index and
// the analysis's steps come to 37 to 38 bytes per object at 10M objects of a server's
// heap). A heap of another shape may peak lower; the margin keeps warming below it for most.
constexpr uint64_t kWarmBytesPerObject = 32;
// Below this many objects the analysis's arrays are a few tens of megabytes, quick to
// fault in even where pages are dear, and the process's fixed memory weighs in its peak
// per object: nothing is warmed.
constexpr uint64_t kWarmFromObjects = 2'000'000;

}  // namespace

const char* readPhaseName(ReadPhase phase)
{
    switch (phase) {
    case ReadPhase::Reading: return "reading";
    case ReadPhase::Resolving: return "resolving references";
    case ReadPhase::Sizing: return "computing sizes";
    case ReadPhase::Done: return "done";
    }
    return "";
}

HeapIndex readHeapDump(ByteSource& source, const ReadOptions& options)
{
    returnLargeBlocksAtOnce();
    DumpInput input(source);
    IndexBuilder builder(options);
    ReadProgress progress;
    progress.sourceTotal = options.sourceTotal;
    auto report = [&](ReadPhase phase) {
        if (!options.progress)
            return;
        progress.phase = phase;
        progress.dumpBytes = input.position();
        progress.sourceBytes = input.sourceConsumed();
        progress.objects = builder.objects();
        options.progress(progress);
    };
    std::atomic<uint64_t> objectsRead{0};
    std::unique_ptr<WarmPages> warm;
    if (options.warmAhead) {
        try {
            warm = std::make_unique<WarmPages>(
                [&objectsRead] {
                    const uint64_t objects = objectsRead.load(std::memory_order_relaxed);
                    return objects < kWarmFromObjects ? 0 : objects * kWarmBytesPerObject;
                },
                options.warmWhen);
        } catch (const std::system_error&) {
            // No thread to spare: the read goes on, and the analysis takes fresh pages.
        }
    }
    report(ReadPhase::Reading);
    HprofReader<IndexBuilder> reader(
        input, builder,
        [&] {
            objectsRead.store(builder.objects(), std::memory_order_relaxed);
            report(ReadPhase::Reading);
        },
        options.progressEveryBytes);
    reader.read();
    objectsRead.store(builder.objects(), std::memory_order_relaxed);
    HeapIndex index = builder.finish(input.position(), report);
    if (warm) {
        // The pages go back once the index is built, for the analysis's arrays to take:
        // the reader's last steps free as much as they ask for, but in small pieces.
        warm->release();
        if (options.warmedBytes)
            *options.warmedBytes = warm->mostBytes();
    }
    return index;
}

HeapIndex readHeapDumpFile(const std::string& path, ReadOptions options)
{
    uint64_t size = 0;
    auto source = openDumpFile(path, &size);
    if (options.sourceTotal == 0)
        options.sourceTotal = size;
    options.rereadPath = path;
    return readHeapDump(*source, options);
}
