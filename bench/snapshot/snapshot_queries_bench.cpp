// The snapshot's queries (snapshot/snapshot_queries.h) on a real heap dump: opens it as
// vorlan-cli --hprof does (read, analysed, values read again from the file), then times
// what a person asks first, each on its first call and again, and prints one JSON
// object. bench/snapshot_bench.py --queries drives it on the dumps it makes.
//
//   snapshot_queries_bench DUMP
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "hprof_error.h"
#include "snapshot_open.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

uint64_t peakRss()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stoull(line.substr(6)) * 1024;
    }
    return 0;
}

struct Timing {
    std::string name;
    size_t calls = 0;
    double first = 0, median = 0, worst = 0;
};

template <class F>
Timing timeCalls(const std::string& name, size_t calls, F call)
{
    std::vector<double> ms;
    for (size_t i = 0; i < calls; ++i) {
        const auto start = Clock::now();
        call(i);
        ms.push_back(msSince(start));
    }
    Timing t{name, calls, ms.front(), 0, 0};
    std::sort(ms.begin(), ms.end());
    t.median = ms[ms.size() / 2];
    t.worst = ms.back();
    return t;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(stderr, "usage: snapshot_queries_bench DUMP\n");
        return 2;
    }
    try {
        const auto start = Clock::now();
        std::unique_ptr<Snapshot> snapshot = openSnapshotFile(argv[1]);
        const double openMs = msSince(start);
        const Snapshot& s = *snapshot;
        const uint32_t objects = s.index().graph.objects;

        // Subjects picked the same way every run: reachable objects at random, the biggest
        // object's accumulation point (the group with the most children), the most
        // common class.
        std::mt19937 random(17);
        std::vector<uint32_t> sample;
        while (sample.size() < 1000) {
            const uint32_t o = static_cast<uint32_t>(random() % objects);
            if (s.analysis().tree.dominatorOf(o) != kNoObject)
                sample.push_back(o);
        }
        const TopReply top = s.top(1);
        const uint32_t wide = top.rows.empty() ? kVirtualRoot : top.rows[0].accumulation.object;
        const uint64_t wideChildren = s.analysis().tree.childCount(wide);
        HistogramQuery byCount;
        const HistogramReply histo = s.histogram(byCount);
        std::string common = histo.rows.empty() ? "java.lang.Object" : histo.rows[0].className;
        uint64_t commonCount = 0;
        for (const HistogramRow& row : histo.rows) {
            if (row.objects > commonCount) {
                commonCount = row.objects;
                common = row.className;
            }
        }

        std::vector<Timing> timings;
        timings.push_back(timeCalls("top 10", 5, [&](size_t) { (void)s.top(10); }));
        timings.push_back(timeCalls("suspects (10 %)", 5, [&](size_t) { (void)s.suspects(0.10); }));
        timings.push_back(timeCalls("dominators, top of the tree, 25", 5, [&](size_t) { (void)s.dominators(kVirtualRoot, 0, 25); }));
        timings.push_back(timeCalls("dominators of the widest group, 25 from 20 offsets across " + std::to_string(wideChildren),
                                    20, [&](size_t i) { (void)s.dominators(wide, wideChildren * i / 20, 25); }));
        timings.push_back(timeCalls("path from a GC root, 1000 objects", 1000, [&](size_t i) { (void)s.path(sample[i]); }));
        timings.push_back(timeCalls("referrers (first 100), 20 objects", 20, [&](size_t i) { (void)s.referrers(sample[i], 100); }));
        HistogramQuery retained;
        retained.byRetained = true;
        timings.push_back(timeCalls("histogram with retained sizes", 5, [&](size_t) { (void)s.histogram(retained); }));
        timings.push_back(timeCalls("instances of " + common + " (" + std::to_string(commonCount) + "), first 25", 5,
                                    [&](size_t) { (void)s.instances(common, false, 0, 25); }));
        timings.push_back(timeCalls("show, values read again from the file, 5 objects", 5,
                                    [&](size_t i) { (void)s.show(sample[i * 100]); }));

        std::printf("{\"objects\": %u, \"dump_bytes\": %llu, \"open_ms\": %.1f, \"peak_rss\": %llu, \"queries\": [", objects,
                    static_cast<unsigned long long>(s.index().summary.dumpBytes), openMs,
                    static_cast<unsigned long long>(peakRss()));
        for (size_t i = 0; i < timings.size(); ++i) {
            const Timing& t = timings[i];
            std::printf("%s{\"name\": \"%s\", \"calls\": %zu, \"first_ms\": %.2f, \"median_ms\": %.2f, \"worst_ms\": %.2f}",
                        i ? ", " : "", t.name.c_str(), t.calls, t.first, t.median, t.worst);
        }
        std::printf("], \"top\": [");
        const TopReply shown = s.top(5);
        for (size_t i = 0; i < shown.rows.size(); ++i) {
            std::string sentence = shown.rows[i].sentence;
            std::replace(sentence.begin(), sentence.end(), '"', '\'');
            std::printf("%s\"%s\"", i ? ", " : "", sentence.c_str());
        }
        std::printf("]}\n");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "snapshot_queries_bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
