// Reads one heap dump (a file, or a FIFO while the VM writes it) with the snapshot
// library and prints what it cost as one JSON object: time per phase, peak memory of
// this process, memory per part of the index, and the counts. With --analyse it then
// runs the whole analysis (dominators, retained sizes, paths, the dominator tree, totals
// by class) and adds each step's time and bytes, and the peak of the whole process. The
// driver (bench/snapshot_bench.py) sets it against the dump's own time.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "byte_source.h"
#include "heap_analysis.h"
#include "hprof_error.h"
#include "private_peak.h"
#include "snapshot_reader.h"

namespace {

double seconds(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

// Peak resident memory of this process so far, in bytes (VmHWM).
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

double cpuSeconds(bool system)
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const timeval& t = system ? usage.ru_stime : usage.ru_utime;
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

uint64_t rssNow()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stoull(line.substr(6)) * 1024;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(stderr, "usage: snapshot_read DUMP [--histogram] [--analyse] [--weak]\n"
                             "Reads DUMP (an HPROF file or FIFO, plain or gzip) and prints JSON timings.\n");
        return 2;
    }
    bool histogram = false, analyse = false, weak = false;
    for (int i = 2; i < argc; ++i) {
        histogram = histogram || std::strcmp(argv[i], "--histogram") == 0;
        analyse = analyse || std::strcmp(argv[i], "--analyse") == 0;
        weak = weak || std::strcmp(argv[i], "--weak") == 0;
    }
    PrivatePeak privatePeak;
    const auto start = std::chrono::steady_clock::now();
    auto phaseStart = start;
    double phaseSeconds[4] = {0, 0, 0, 0};
    ReadPhase current = ReadPhase::Reading;
    uint64_t peakBeforeSizing = 0;
    ReadOptions options;
    uint64_t warmed = 0;
    options.warmAhead = analyse;  // as the library's own reads do when an analysis follows
    options.warmedBytes = &warmed;
    options.progress = [&](const ReadProgress& p) {
        if (p.phase != current) {
            const auto now = std::chrono::steady_clock::now();
            phaseSeconds[static_cast<int>(current)] += seconds(phaseStart, now);
            phaseStart = now;
            current = p.phase;
            if (p.phase == ReadPhase::Resolving)
                peakBeforeSizing = peakRss();
        }
    };
    try {
        HeapIndex index = readHeapDumpFile(argv[1], options);
        const auto end = std::chrono::steady_clock::now();
        const auto use = index.memoryUse();
        const double objects = index.graph.objects;
        std::printf("{\"objects\": %u, \"references\": %u, \"dump_bytes\": %llu, \"seconds\": %.4f,"
                    " \"read_seconds\": %.4f, \"resolve_seconds\": %.4f, \"size_seconds\": %.4f,"
                    " \"peak_rss\": %llu, \"peak_rss_reading\": %llu, \"rss_after\": %llu,"
                    " \"graph_bytes\": %zu, \"label_bytes\": %zu, \"address_bytes\": %zu, \"class_bytes\": %zu,"
                    " \"peak_bytes_per_object\": %.2f, \"warmed_bytes\": %llu, \"layout\": \"%s\", \"dropped\": %llu, \"threads\": %u,"
                    " \"threads_named\": %u, \"java\": \"%s\", \"user_seconds\": %.4f, \"system_seconds\": %.4f,"
                    " \"private_peak\": %llu",
                    index.graph.objects, index.graph.edgeCount(),
                    static_cast<unsigned long long>(index.summary.dumpBytes), seconds(start, end), phaseSeconds[0],
                    phaseSeconds[1], phaseSeconds[2], static_cast<unsigned long long>(peakRss()),
                    static_cast<unsigned long long>(peakBeforeSizing), static_cast<unsigned long long>(rssNow()),
                    use.graph, use.labels, use.addresses, use.classes, peakRss() / std::max(1.0, objects),
                    static_cast<unsigned long long>(warmed), index.summary.layout.describe().c_str(),
                    static_cast<unsigned long long>(index.summary.droppedReferences), index.summary.threads,
                    index.summary.threadsNamed, index.summary.javaVersion.c_str(), cpuSeconds(false), cpuSeconds(true),
                    static_cast<unsigned long long>(privatePeak.bytes()));
        std::printf(", \"notes\": [");
        for (size_t i = 0; i < index.summary.notes.size(); ++i)
            std::printf("%s\"%s\"", i ? ", " : "", index.summary.notes[i].c_str());
        std::printf("]");
        if (histogram) {
            std::printf(", \"histogram\": [");
            bool first = true;
            for (const auto& row : index.histogram()) {
                std::printf("%s[\"%s\", %llu, %llu]", first ? "" : ", ", std::string(index.className(row.cls)).c_str(),
                            static_cast<unsigned long long>(row.objects), static_cast<unsigned long long>(row.bytes));
                first = false;
            }
            std::printf("]");
        }
        if (analyse) {
            const uint64_t peakAfterRead = peakRss();
            const uint64_t rssBefore = rssNow();
            AnalysisOptions analysisOptions;
            analysisOptions.weakAsStrong = weak;
            const auto analysisStart = std::chrono::steady_clock::now();
            const double cpuBefore = cpuSeconds(false) + cpuSeconds(true);
            const HeapAnalysis analysis = analyseHeap(index.graph, analysisOptions);
            const double analysisSeconds = seconds(analysisStart, std::chrono::steady_clock::now());
            uint64_t stepPeak = 0;
            std::printf(", \"analysis\": {\"seconds\": %.4f, \"cpu_seconds\": %.4f, \"peak_rss_after_read\": %llu,"
                        " \"rss_before\": %llu, \"peak_rss\": %llu, \"rss_after\": %llu, \"kept_bytes\": %llu,"
                        " \"reachable\": %u, \"steps\": [",
                        analysisSeconds, cpuSeconds(false) + cpuSeconds(true) - cpuBefore,
                        static_cast<unsigned long long>(peakAfterRead), static_cast<unsigned long long>(rssBefore),
                        static_cast<unsigned long long>(peakRss()), static_cast<unsigned long long>(rssNow()),
                        static_cast<unsigned long long>(analysis.memoryBytes()), analysis.reachable);
            for (size_t i = 0; i < analysis.costs.size(); ++i) {
                const StepCost& c = analysis.costs[i];
                stepPeak = std::max(stepPeak, c.workBytes + c.heldBytes);
                std::printf("%s{\"name\": \"%s\", \"seconds\": %.4f, \"cpu_seconds\": %.4f, \"work_bytes\": %llu,"
                            " \"held_bytes\": %llu}",
                            i ? ", " : "", c.name.c_str(), c.seconds, c.cpuSeconds,
                            static_cast<unsigned long long>(c.workBytes), static_cast<unsigned long long>(c.heldBytes));
            }
            std::printf("], \"step_peak_bytes\": %llu, \"private_peak\": %llu}", static_cast<unsigned long long>(stepPeak),
                        static_cast<unsigned long long>(privatePeak.bytes()));
        }
        std::printf("}\n");
    } catch (const HprofError& e) {
        std::fprintf(stderr, "snapshot_read: %s\n", e.what());
        return 1;
    } catch (const SourceError& e) {
        std::fprintf(stderr, "snapshot_read: %s\n", e.what());
        return 1;
    }
    return 0;
}
