// A snapshot of a running VM's heap, for top, dominators, suspects and histo --retained
// when no --hprof names a dump: the VM named by --pid or --port writes its heap dump into
// a pipe, read as it comes (snapshot_reader.h), and the index is analysed as a dump
// file's is, without values (a stream cannot be read twice).
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>

#include "cli_options.h"
#include "snapshot_open.h"

// Why a snapshot of the running VM cannot be had, for a person.
class LiveSnapshotError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// progress is called as the dump is read and analysed. Throws LiveSnapshotError.
std::unique_ptr<Snapshot> openLiveSnapshot(const CliOptions& options,
                                           const std::function<void(const OpenProgress&)>& progress);
