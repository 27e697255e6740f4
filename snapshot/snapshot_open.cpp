#include "snapshot_open.h"

#include "snapshot_reader.h"

ValueReader dumpFileValues(const std::string& path)
{
    return [path](const std::vector<uint64_t>& addresses, size_t maxArrayBytes) {
        return readObjectValuesFile(path, addresses, maxArrayBytes);
    };
}

std::unique_ptr<Snapshot> openSnapshotFile(const std::string& path, const OpenOptions& options)
{
    OpenProgress last;
    ReadOptions read;
    read.warmAhead = true;  // the snapshot is read to be analysed
    if (options.progress) {
        read.progress = [&](const ReadProgress& p) {
            last.phase = readPhaseName(p.phase);
            last.bytes = p.sourceBytes;
            last.total = p.sourceTotal;
            last.objects = p.objects;
            if (p.phase != ReadPhase::Done)
                options.progress(last);
        };
    }
    HeapIndex index = readHeapDumpFile(path, read);
    SnapshotOptions analysis;
    analysis.weakAsStrong = options.weakAsStrong;
    if (options.progress) {
        last.objects = index.graph.objects;
        analysis.progress = [&](const std::string& step) {
            last.phase = step;
            options.progress(last);
        };
    }
    return std::make_unique<Snapshot>(std::move(index), dumpFileValues(path), analysis);
}
