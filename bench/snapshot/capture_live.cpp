// Captures the heap of a running JVM live with the capture library (the VM writes its
// dump into a pipe this process reads as it comes), optionally computes every retained
// size, and prints what it cost as one JSON object: the program's pause (the VM's own
// safepoint counters), the times from the request to the first and last byte, the VM's
// answer, the index and the retained sizes ready, peak memory and where it goes. The
// driver (bench/capture_bench.py) sets these against jcmd's own dump of the same heap.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "capture_error.h"
#include "heap_analysis.h"
#include "heap_capture.h"
#include "hprof_error.h"
#include "private_peak.h"

namespace {

uint64_t procStatus(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stoull(line.substr(std::strlen(key))) * 1024;
    return 0;
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string jsonText(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (static_cast<unsigned char>(c) >= 0x20)
            out += c;
    }
    return out + "\"";
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(stderr, "usage: capture_live PID [--analyse] [--histogram] [--threads N] [--gz N] [--file PATH]\n");
        return 2;
    }
    const long pid = std::atol(argv[1]);
    bool analyse = false, histogram = false;
    std::string file;
    CaptureOptions options;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--analyse") analyse = true;
        else if (a == "--histogram") histogram = true;
        else if (a == "--threads" && i + 1 < argc) options.dumpThreads = static_cast<unsigned>(std::atoi(argv[++i]));
        else if (a == "--gz" && i + 1 < argc) options.gzipLevel = std::atoi(argv[++i]);
        else if (a == "--file" && i + 1 < argc) file = argv[++i];
    }
    PrivatePeak privatePeak;
    const uint64_t rssBefore = procStatus("VmRSS:");
    const auto start = std::chrono::steady_clock::now();
    const auto ms = [&](std::chrono::steady_clock::time_point t) {
        return std::chrono::duration<double, std::milli>(t - start).count();
    };
    try {
        if (!file.empty()) {
            const CaptureReport r = captureHeapToFile(pid, file, true, options);
            std::printf("{\"pause_ms\": %.2f, \"bytes\": %llu, \"total_ms\": %.1f, \"vm_answer\": %s}\n", r.pause.ms,
                        static_cast<unsigned long long>(r.bytes), r.totalMs, jsonText(r.vmAnswer).c_str());
            return 0;
        }
        LiveSnapshot snapshot = captureHeap(pid, options);
        const auto indexed = std::chrono::steady_clock::now();
        const uint64_t peakIndexed = procStatus("VmHWM:");
        const CaptureReport& r = snapshot.report;
        const HeapIndex::MemoryUse use = snapshot.index.memoryUse();
        double analysisMs = 0, retainedMs = 0;
        uint64_t analysisKept = 0, analysisPeakWork = 0;
        uint32_t reachable = 0;
        std::string steps;  // each step's wall and thread CPU seconds, for where the time went
        if (analyse) {
            // Every retained size is known when the steps that only arrange them begin.
            const HeapAnalysis analysis = analyseHeap(snapshot.index.graph, {}, [&](const std::string& step) {
                if (step == "dominator tree")
                    retainedMs = ms(std::chrono::steady_clock::now());
            });
            analysisMs = ms(std::chrono::steady_clock::now()) - ms(indexed);
            analysisKept = analysis.memoryBytes();
            for (const StepCost& c : analysis.costs) {
                analysisPeakWork = std::max(analysisPeakWork, c.workBytes + c.heldBytes);
                char step[64];
                std::snprintf(step, sizeof step, ", %.4f, %.4f]", c.seconds, c.cpuSeconds);
                steps += (steps.empty() ? "[[" : ", [") + jsonText(c.name) + step;
            }
            reachable = analysis.reachable;
        }
        const auto end = std::chrono::steady_clock::now();
        const double objects = snapshot.index.graph.objects;
        // The request went out at about firstByte - first byte's delay: times below are
        // from this process's start, which is the request's start to a few milliseconds.
        std::printf("{\"objects\": %u, \"references\": %u, \"bytes\": %llu, \"pause_ms\": %.2f, \"reaching_ms\": %.2f,"
                    " \"safepoints\": %lld, \"first_byte_ms\": %.1f, \"last_byte_ms\": %.1f, \"answer_ms\": %.1f,"
                    " \"indexed_ms\": %.1f, \"analysis_ms\": %.1f, \"retained_ms\": %.1f, \"ready_ms\": %.1f, \"reachable\": %u,"
                    " \"peak_rss\": %llu, \"peak_rss_indexed\": %llu, \"rss_before\": %llu, \"graph_bytes\": %zu,"
                    " \"label_bytes\": %zu, \"address_bytes\": %zu, \"class_bytes\": %zu, \"analysis_kept_bytes\": %llu,"
                    " \"analysis_peak_work_bytes\": %llu, \"peak_bytes_per_object\": %.2f, \"cpu_seconds\": %.3f,"
                    " \"drain_most_bytes\": %llu, \"warmed_bytes\": %llu, \"private_peak\": %llu, \"layout\": %s, \"layout_from_vm\": %s, \"vm_answer\": %s",
                    snapshot.index.graph.objects, snapshot.index.graph.edgeCount(),
                    static_cast<unsigned long long>(r.bytes), r.pause.ms, r.pause.reachingMs,
                    static_cast<long long>(r.pause.safepoints), r.firstByteMs, r.lastByteMs, r.answerMs, ms(indexed),
                    analysisMs, retainedMs, ms(end), reachable, static_cast<unsigned long long>(procStatus("VmHWM:")),
                    static_cast<unsigned long long>(peakIndexed), static_cast<unsigned long long>(rssBefore), use.graph,
                    use.labels, use.addresses, use.classes, static_cast<unsigned long long>(analysisKept),
                    static_cast<unsigned long long>(analysisPeakWork), procStatus("VmHWM:") / std::max(1.0, objects),
                    cpuSeconds(), static_cast<unsigned long long>(r.drainMostBytes),
                    static_cast<unsigned long long>(r.warmedBytes),
                    static_cast<unsigned long long>(privatePeak.bytes()), jsonText(r.layout.describe()).c_str(), r.layoutFromVm ? "true" : "false",
                    jsonText(r.vmAnswer).c_str());
        if (!steps.empty())
            std::printf(", \"steps\": %s]", steps.c_str());
        if (histogram) {
            std::printf(", \"histogram\": [");
            bool first = true;
            for (const auto& row : snapshot.index.histogram()) {
                std::printf("%s[%s, %llu, %llu]", first ? "" : ", ",
                            jsonText(std::string(snapshot.index.className(row.cls))).c_str(),
                            static_cast<unsigned long long>(row.objects), static_cast<unsigned long long>(row.bytes));
                first = false;
            }
            std::printf("]");
        }
        std::printf("}\n");
    } catch (const CaptureError& e) {
        std::fprintf(stderr, "capture_live: %s\n", e.what());
        return 1;
    } catch (const HprofError& e) {
        std::fprintf(stderr, "capture_live: %s\n", e.what());
        return 1;
    }
    return 0;
}
