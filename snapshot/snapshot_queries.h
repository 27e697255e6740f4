// A heap snapshot ready to be asked what holds the memory: it owns the index of a heap
// dump (a file, or a live VM's stream) and its analysis, and answers in the plain
// structs of snapshot_replies.h. Every query is const and safe to call from several
// threads at once; on a ready snapshot of ten million objects each takes a few tens of
// milliseconds at most, except show, which reads the dump again for values.
//
//   auto snapshot = openSnapshotFile("app.hprof");    // snapshot_open.h
//   TopReply top = snapshot->top(10);
//   RootPathReply path = snapshot->path(top.rows[0].object.object);
//
// A snapshot taken live has no values (the stream is gone once read): build it from its
// index alone, and show gives references and sizes with a note saying so.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "heap_analysis.h"
#include "heap_index.h"
#include "object_values.h"
#include "snapshot_replies.h"

// Reads the values of the objects at these addresses again (object_values.h), each
// array's elements up to maxArrayBytes, for show: a dump file can, a stream cannot.
using ValueReader =
    std::function<std::vector<ObjectValues>(const std::vector<uint64_t>& addresses, size_t maxArrayBytes)>;

// A query that cannot be answered as asked: an id that names no object, a class the
// snapshot does not have. The message says which, for a person.
class SnapshotError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct SnapshotOptions {
    // Count a Reference's referent as retained by the Reference, as Eclipse MAT does by
    // default; off, retained sizes are what the next collections would free.
    bool weakAsStrong = false;
    // Called with the name of each step of the analysis as it begins.
    AnalysisProgress progress;
};

class Snapshot {
public:
    // Analyses the index at once. values, when given, reads primitive values again.
    explicit Snapshot(HeapIndex index, ValueReader values = {}, const SnapshotOptions& options = {});
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    const HeapIndex& index() const { return index_; }
    const HeapAnalysis& analysis() const { return analysis_; }
    bool hasValues() const { return static_cast<bool>(values_); }
    HeapSummary summary() const;
    // What every reply says: how retained sizes are counted, and what the dump left out.
    Notes notes() const;

    // The object a person named ("s1234", or its address "0x7f3a2c10"); SnapshotError if none.
    uint32_t objectNamed(std::string_view id) const;
    ObjectRow row(uint32_t object) const;

    // The biggest objects by retained size, none holding another, each with its
    // accumulation point, how it is held and its path from a GC root.
    TopReply top(uint32_t limit) const;
    // The objects that retain at least threshold of the reachable heap, as in top.
    SuspectsReply suspects(double threshold = 0.10, uint32_t limit = 20) const;
    // What node (kVirtualRoot for the top of the tree) dominates directly, largest first.
    DominatorsReply dominators(uint32_t node, uint64_t offset, uint32_t limit) const;
    // Objects, shallow and retained bytes per class.
    HistogramReply histogram(const HistogramQuery& query) const;
    // The instances of a class (by Class.getName(), "int[]" or "java/util/HashMap" too),
    // and with subclasses those of every class below it, largest retained first.
    InstancesReply instances(std::string_view className, bool subclasses, uint64_t offset, uint32_t limit) const;
    // One object: what it holds, each reference with its target's sizes; field values
    // when the dump can be read again. offset and limit page through an array.
    ObjectReply show(uint32_t object, uint64_t offset = 0, uint32_t limit = 100) const;
    // The shortest chain of strong references from a GC root (through a referent only
    // when no strong chain exists).
    RootPathReply path(uint32_t object) const;
    // Every reference to the object, and the GC roots that hold it; past limit only counted.
    ReferrersReply referrers(uint32_t object, uint32_t limit) const;
    // What comparing this snapshot with another one later needs (compareSnapshots).
    ClassProfile profile() const;

    // The GC roots that hold an object, named.
    std::vector<RootRow> rootsOf(uint32_t object) const;

private:
    std::vector<BigObjectRow> bigObjects(uint32_t limit, double threshold) const;
    std::string describeBig(uint32_t object, uint32_t accumulation, const RootPathReply& path) const;
    RootRow rootRow(const HeapRoot& root) const;
    std::string className(uint32_t object) const;
    std::string via(uint32_t holder, uint32_t edge, bool weak) const;
    double shareOf(uint64_t bytes) const;

    HeapIndex index_;
    HeapAnalysis analysis_;
    ValueReader values_;
    uint64_t heapBytes_ = 0;
    std::vector<std::pair<uint32_t, uint32_t>> rootsByObject_;  // (object, index in index_.roots), sorted
};

// Per class, how the heap changed from before to after. Refused, with the reason, for
// two snapshots of different programs: their main methods differ, or they share less
// than half of the application classes of the smaller one.
CompareReply compareSnapshots(const ClassProfile& before, const ClassProfile& after, uint64_t limit = UINT64_MAX);
