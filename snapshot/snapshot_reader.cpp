#include "snapshot_reader.h"

#include "dump_input.h"
#include "hprof_reader.h"
#include "index_builder.h"
#include "large_arrays.h"

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
    report(ReadPhase::Reading);
    HprofReader<IndexBuilder> reader(input, builder, [&] { report(ReadPhase::Reading); }, options.progressEveryBytes);
    reader.read();
    return builder.finish(input.position(), report);
}

HeapIndex readHeapDumpFile(const std::string& path, ReadOptions options)
{
    uint64_t size = 0;
    auto source = openDumpFile(path, &size);
    if (options.sourceTotal == 0)
        options.sourceTotal = size;
    return readHeapDump(*source, options);
}
