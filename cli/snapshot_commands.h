// vorlan-cli's commands on a heap snapshot: show, histo, find, refs and path with
// --hprof, and top, dominators, suspects and compare, each printed as text or as one
// JSON document. The snapshot is the dump --hprof names, read with a progress line on
// standard error when it is a terminal, or one taken of the running VM.
#pragma once

#include <ostream>

#include "cli_options.h"
#include "snapshot_queries.h"

// Opens the snapshot and runs the command; the exit status, with one line on err when 1.
int runSnapshotCommand(const CliCommand& c, std::ostream& out, std::ostream& err, bool progress);
// The command on a ready snapshot (not compare, which needs two).
int snapshotCommand(const Snapshot& snapshot, const CliCommand& c, std::ostream& out, std::ostream& err);
// Whether the command needs a snapshot: any with --hprof, and top, dominators, suspects
// and histo --retained of a running VM.
bool needsSnapshot(const CliCommand& c);
