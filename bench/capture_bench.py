#!/usr/bin/env python3
"""Times a live capture (capture/: the VM writes its heap dump into a private pipe, read
and indexed as it comes, then analysed) against the VM's own dump of the same heap, and
VisualVM's heap engine against ours on the same dump file.

For each heap (a SessionHeap of N live objects, G1 unless --collector names another) and
each round:
- the anchor: `jcmd PID GC.heap_dump -overwrite FILE` to a file in memory-backed
  storage, its wall time (the dump's own time) and the program's pause during it;
- a live capture with every retained size computed (bench/snapshot/capture_live.cpp):
  the program's pause, the time from the request to every retained size ready (and
  paths from the roots: the analysis then only arranges them into the dominator tree and
  totals by class, whose end is given beside as the whole analysis), what is left after
  the last byte, and the peak memory of the capturing process per object (all of it
  resident, VmHWM; and its private part, without the file-backed pages of its program
  and libraries, sampled every millisecond: bench/snapshot/private_peak.h).
Both pauses are the VM's own safepoint time (sun.rt.safepointTime + safepointSyncTime
over sun.os.hrt.frequency, read with `jcmd PID PerfCounter.print` before and after), so
they are measured the same way. Every capture's class histogram must equal jcmd
GC.class_histogram's for the heap program's classes.

With --visualvm the last anchor dump of each heap is also opened by VisualVM's heap
engine (bench/visualvm/VisualVmRetained.java, under VisualVM's default heap limit
-Xmx768m from /etc/visualvm/visualvm.conf) and by our reader and analysis
(snapshot_read --analyse): the time to the first retained size and the peak memory,
side by side.

    python3 bench/capture_bench.py --build BUILD_DIR [--java JAVA] [--sizes 1000000] \\
        [--rounds 3] [--collector -XX:+UseZGC] [--visualvm] [--visualvm-timeout 3600] [--out r.json] [--markdown r.md]
"""

import argparse
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from driver.bench_run import load_average, load_paths, machine_info, run_and_report  # noqa: E402
from driver.live_heap import java_home, live_classes  # noqa: E402
from driver.scenarios import CheckFailed  # noqa: E402

CHECKED = ["SessionStore", "Session", "User", "Item", "Event", "Sample", "[LSample;", "[[LSample;", "[[B"]
VISUALVM_JAR = "/usr/share/visualvm/visualvm/modules/org-graalvm-visualvm-lib-jfluid-heap.jar"
VISUALVM_XMX = "-Xmx768m"  # VisualVM's own default (visualvm_default_options)


def parse_args():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--build", required=True, help="CMake build directory")
    p.add_argument("--java", help="run the heap on this java (its own jcmd is used)")
    p.add_argument("--sizes", default="1000000", help="live objects per heap, comma-separated")
    p.add_argument("--rounds", type=int, default=3)
    p.add_argument("--collector", default="-XX:+UseG1GC", help="the heap's collector flag (default: G1)")
    p.add_argument("--visualvm", action="store_true", help="also open the dump with VisualVM's heap engine")
    p.add_argument("--visualvm-java", default="/usr/lib/jvm/java-17-openjdk-amd64/bin/java")
    p.add_argument("--visualvm-timeout", type=int, default=3600, help="seconds before VisualVM's run is given up")
    p.add_argument("--out")
    p.add_argument("--markdown")
    return p.parse_args()


def jcmd(paths):
    return os.path.join(java_home(paths["java"]), "bin", "jcmd")


def jcmd_run(paths, pid, *words):
    return subprocess.run([jcmd(paths), str(pid)] + list(words), capture_output=True, text=True, check=True).stdout


def safepoint_ms(paths, pid):
    counters = {}
    for line in jcmd_run(paths, pid, "PerfCounter.print").splitlines():
        m = re.match(r"(sun\.rt\.safepoint(?:Sync)?Time|sun\.os\.hrt\.frequency)=(\d+)", line)
        if m:
            counters[m.group(1)] = int(m.group(2))
    ticks = counters["sun.rt.safepointTime"] + counters["sun.rt.safepointSyncTime"]
    return ticks * 1000.0 / counters["sun.os.hrt.frequency"]


def histogram(paths, pid):
    rows = {}
    for line in jcmd_run(paths, pid, "GC.class_histogram").splitlines():
        m = re.match(r"\s*\d+:\s+(\d+)\s+(\d+)\s+(\S+)", line)
        if m:
            rows[m.group(3)] = (int(m.group(1)), int(m.group(2)))
    return rows


def anchor_dump(paths, pid, directory):
    path = os.path.join(directory, "anchor.hprof")
    before = safepoint_ms(paths, pid)
    start = time.monotonic()
    answer = jcmd_run(paths, pid, "GC.heap_dump", "-overwrite", path)
    seconds = time.monotonic() - start
    pause = safepoint_ms(paths, pid) - before
    m = re.search(r"in ([\d.]+) secs", answer)
    return path, {"seconds": seconds, "vm_seconds": float(m.group(1)) if m else None, "pause_ms": pause,
                  "bytes": os.path.getsize(path)}


def capture(paths, pid, expected):
    proc = subprocess.run([paths["capture_live"], str(pid), "--analyse", "--histogram"], capture_output=True, text=True)
    if proc.returncode != 0:
        raise CheckFailed("capture failed: %s" % proc.stderr.strip())
    result = json.loads(proc.stdout)
    ours = {name: (n, b) for name, n, b in result.pop("histogram")}
    for name in CHECKED:
        if name in expected and ours.get(name) != expected[name]:
            raise CheckFailed("%s: capture %s, jcmd %s" % (name, ours.get(name), expected[name]))
    return result


def visualvm(args, path):
    cache = tempfile.mkdtemp(prefix="vorlan-visualvm-")
    try:
        proc = subprocess.run([args.visualvm_java, VISUALVM_XMX, "-Djava.io.tmpdir=" + cache, "-cp", VISUALVM_JAR,
                               os.path.join(os.path.dirname(os.path.abspath(__file__)), "visualvm", "VisualVmRetained.java"),
                               path], capture_output=True, text=True, timeout=args.visualvm_timeout)
    except subprocess.TimeoutExpired:
        return {"timed_out_s": args.visualvm_timeout}
    finally:
        shutil.rmtree(cache, ignore_errors=True)
    if proc.returncode != 0:
        return {"error": proc.stderr.strip()[-600:]}
    return json.loads(proc.stdout.strip().splitlines()[-1])


def ours_on_file(paths, path):
    start = time.monotonic()
    proc = subprocess.run([paths["snapshot_read"], path, "--analyse"], capture_output=True, text=True)
    wall = time.monotonic() - start
    if proc.returncode != 0:
        raise CheckFailed("reader failed on %s: %s" % (path, proc.stderr.strip()))
    r = json.loads(proc.stdout)
    return {"first_retained_s": wall, "peak_rss": r["analysis"]["peak_rss"]}


def median(values):
    return statistics.median(values) if values else None


def scenario(args, paths, n):
    heap_mb = max(512, n // 3500)
    cmd = [paths["java"], args.collector, "-Xms%dm" % heap_mb, "-Xmx%dm" % heap_mb,
           "-Djava.library.path=" + paths["native_dir"], "-cp", live_classes(paths), "SessionHeap", str(n)]
    proc = subprocess.Popen(cmd, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    directory = tempfile.mkdtemp(prefix="vorlan-capture-bench-", dir="/dev/shm")
    os.chmod(directory, 0o700)
    try:
        line = proc.stdout.readline()
        if not line.startswith("ready"):
            raise CheckFailed("heap program did not start: %r %s" % (line, proc.stderr.read()[-2000:]))
        expected = histogram(paths, proc.pid)
        rounds = []
        path = None
        for _ in range(args.rounds):
            path, anchor = anchor_dump(paths, proc.pid, directory)
            live = capture(paths, proc.pid, expected)
            rounds.append({"anchor": anchor, "capture": live, "load": load_average()})
            print("  jcmd to tmpfs %.2f s, pause %.0f ms; capture pause %.0f ms (%.2fx), all retained ready %.2f s "
                  "(%.2fx the dump), %.2f s after the last byte, whole analysis %.2f s, peak %.1f B/object" % (
                      anchor["seconds"], anchor["pause_ms"], live["pause_ms"], live["pause_ms"] / anchor["pause_ms"],
                      live["retained_ms"] / 1000, live["retained_ms"] / 1000 / anchor["seconds"],
                      (live["retained_ms"] - live["last_byte_ms"]) / 1000, live["ready_ms"] / 1000,
                      live["peak_bytes_per_object"]), flush=True)
        summary = {"objects": rounds[0]["capture"]["objects"], "dump_bytes": rounds[0]["anchor"]["bytes"],
                   "anchor_seconds": median([r["anchor"]["seconds"] for r in rounds]),
                   "anchor_pause_ms": median([r["anchor"]["pause_ms"] for r in rounds]),
                   "capture_pause_ms": median([r["capture"]["pause_ms"] for r in rounds]),
                   "pause_ratio": median([r["capture"]["pause_ms"] / r["anchor"]["pause_ms"] for r in rounds]),
                   # Every retained size is ready when the analysis begins to arrange them in the
                   # dominator tree; the whole analysis (tree and totals by class) is given beside.
                   "ready_ratio": median([r["capture"]["retained_ms"] / 1000 / r["anchor"]["seconds"] for r in rounds]),
                   "after_ratio": median([(r["capture"]["retained_ms"] - r["capture"]["last_byte_ms"]) / 1000
                                         / r["anchor"]["seconds"] for r in rounds]),
                   "ready_s": median([r["capture"]["retained_ms"] / 1000 for r in rounds]),
                   "after_s": median([(r["capture"]["retained_ms"] - r["capture"]["last_byte_ms"]) / 1000 for r in rounds]),
                   "whole_s": median([r["capture"]["ready_ms"] / 1000 for r in rounds]),
                   "whole_ratio": median([r["capture"]["ready_ms"] / 1000 / r["anchor"]["seconds"] for r in rounds]),
                   "peak_rss": max(r["capture"]["peak_rss"] for r in rounds),
                   # Without the file-backed pages of the program and its libraries.
                   "private_peak": max(r["capture"].get("private_peak", 0) for r in rounds),
                   "rounds": rounds}
        if args.visualvm and path:
            print("  VisualVM's heap engine on the %d MB dump (load %s)..." % (
                os.path.getsize(path) >> 20, " ".join(load_average())), flush=True)
            summary["ours_on_file"] = ours_on_file(paths, path)
            summary["visualvm"] = visualvm(args, path)
            print("  ours %s; VisualVM %s" % (summary["ours_on_file"], summary["visualvm"]), flush=True)
        return summary
    finally:
        proc.kill()
        proc.wait()
        shutil.rmtree(directory, ignore_errors=True)


def markdown(results):
    rows = ["| objects | dump MB | jcmd to tmpfs s | its pause ms | capture pause ms | pause ratio (≤ 1.1×) | "
            "request to all retained s | / dump (≤ 1.5×) | after last byte s | / dump (≤ 0.5×) | whole analysis s | "
            "/ dump | peak B/object (≤ 40) | of it private | peak / dump (≤ 1×) |",
            "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"]
    heaps = sorted(results["heaps"].items(), key=lambda kv: int(kv[0]))
    for _, h in heaps:
        o = h["objects"]
        rows.append("| %d | %d | %.2f | %.0f | %.0f | %.2f× | %.2f | %.2f× | %.2f | %.2f× | %.2f | %.2f× | %.1f | %s | %.2f× |" % (
            o, h["dump_bytes"] >> 20, h["anchor_seconds"], h["anchor_pause_ms"], h["capture_pause_ms"],
            h["pause_ratio"], h["ready_s"], h["ready_ratio"], h["after_s"], h["after_ratio"], h["whole_s"],
            h["whole_ratio"], h["peak_rss"] / o, "%.1f" % (h["private_peak"] / o) if h.get("private_peak") else "",
            h["peak_rss"] / h["dump_bytes"]))
    for _, h in heaps:
        o = h["objects"]
        c = h["rounds"][0]["capture"]
        rows += ["", "Peak memory of the capturing process at %d objects, part by part (B/object): graph %.1f, "
                 "reference labels %.1f, addresses %.1f, classes %.1f; the analysis keeps %.1f and its steps' "
                 "peak is %.1f; drained ahead of the reader at most %.1f MB; warmed ahead for the analysis at "
                 "most %.0f MB; process peak %.1f, of which private memory %.1f (the rest is the shared "
                 "code of the program and its libraries, read from their files)." % (
                     o, c["graph_bytes"] / o, c["label_bytes"] / o, c["address_bytes"] / o, c["class_bytes"] / o,
                     c["analysis_kept_bytes"] / o, c["analysis_peak_work_bytes"] / o, c["drain_most_bytes"] / 2**20,
                     c.get("warmed_bytes", 0) / 2**20, c["peak_rss"] / o, c.get("private_peak", 0) / o)]
    compared = [(n, h) for n, h in heaps if "visualvm" in h]
    if compared:
        rows += ["", "| objects | dump MB | ours: to all retained s | ours: peak MB | VisualVM: to first retained s | "
                 "VisualVM: peak MB | time ratio VisualVM / ours |", "|---|---|---|---|---|---|---|"]
        for _, h in compared:
            ours, vv = h["ours_on_file"], h["visualvm"]
            if "first_retained_s" in vv:
                rows.append("| %d | %d | %.2f | %.0f | %.1f | %.0f | %.0f× |" % (
                    h["objects"], h["dump_bytes"] >> 20, ours["first_retained_s"], ours["peak_rss"] / 2**20,
                    vv["first_retained_s"], vv["peak_rss"] / 2**20, vv["first_retained_s"] / ours["first_retained_s"]))
            else:
                rows.append("| %d | %d | %.2f | %.0f | %s | | |" % (
                    h["objects"], h["dump_bytes"] >> 20, ours["first_retained_s"], ours["peak_rss"] / 2**20,
                    "gave up after %d s" % vv["timed_out_s"] if "timed_out_s" in vv else "failed: " + vv["error"][-200:]))
    return "\n".join(rows) + "\n"


def main():
    args = parse_args()
    paths = load_paths(args)
    sizes = [int(s) for s in args.sizes.split(",")]
    results = {"machine": machine_info(paths["java"]), "command": " ".join(sys.argv), "heaps": {}}

    def run(write):
        for n in sizes:
            print("heap of %d objects (load %s)" % (n, " ".join(load_average())), flush=True)
            results["heaps"][str(n)] = scenario(args, paths, n)
            write()

    return run_and_report(results, args, run, markdown)


if __name__ == "__main__":
    sys.exit(main())
