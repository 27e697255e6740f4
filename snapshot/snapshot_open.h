// A heap dump file opened as a Snapshot: read in one pass, analysed, and read again for
// the values show gives. The progress callback sees each phase, with the bytes read and
// the objects found while reading.
//
//   auto snapshot = openSnapshotFile("app.hprof", options);  // plain or gzip
//
// A truncated or corrupted file throws HprofError naming the byte; one that cannot be
// opened, SourceError.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "snapshot_queries.h"

struct OpenProgress {
    std::string phase;  // "reading", "resolving references", "computing sizes", then the analysis' steps
    uint64_t bytes = 0;  // of the file, read so far
    uint64_t total = 0;  // the file's size
    uint64_t objects = 0;
};

struct OpenOptions {
    bool weakAsStrong = false;  // SnapshotOptions::weakAsStrong
    std::function<void(const OpenProgress&)> progress;
};

std::unique_ptr<Snapshot> openSnapshotFile(const std::string& path, const OpenOptions& options = {});
// Values read again from the dump file at path, a forward pass each time.
ValueReader dumpFileValues(const std::string& path);
