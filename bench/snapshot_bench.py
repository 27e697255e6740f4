#!/usr/bin/env python3
"""Times the heap dump reader (snapshot/) against the dump it reads: a SessionHeap of N
live objects is dumped with `jcmd PID GC.heap_dump` to a file in memory-backed storage,
and the reader (bench/snapshot/snapshot_read.cpp) indexes it. Each figure is set
against its anchor from the same run: the reader's time against the dump's own, its
peak memory against the object count and the dump's size. With --fifo the dump is also
streamed through a named pipe while the reader indexes it as it comes, and the time the
reader needs after the last byte is set against the dump's time.

With --analyse each read goes on to the whole analysis (dominators, retained sizes,
paths, the dominator tree, totals by class) in the same process, and the peak memory of
that process, reader's index included, is set against the object count and the dump's
size, part by part. With --queries the snapshot's queries (top, dominators, path,
referrers...) are timed on the ready snapshot of the first dump of each heap.

    python3 bench/snapshot_bench.py --build BUILD_DIR [--java JAVA] \\
        [--sizes 1000000,10000000] [--rounds 3] [--fifo] [--analyse] [--queries] \\
        [--out results.json] [--markdown table.md]

Every read is checked: its class histogram must equal jcmd GC.class_histogram's for the
classes of the heap program; a failed check ends the run with status 1.
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
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from driver.bench_run import load_average, load_paths, machine_info, run_and_report  # noqa: E402
from driver.live_heap import java_home, live_classes  # noqa: E402
from driver.scenarios import CheckFailed  # noqa: E402

# The heap program's own classes, whose counts and bytes must match jcmd's exactly.
CHECKED = ["SessionStore", "Session", "User", "Item", "Event", "Sample", "[LSample;", "[[LSample;", "[[B"]


def parse_args():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--build", required=True, help="CMake build directory")
    p.add_argument("--java", help="run the heap on this java (its own jcmd is used)")
    p.add_argument("--sizes", default="1000000,10000000", help="live objects per heap, comma-separated")
    p.add_argument("--rounds", type=int, default=3, help="dumps read per heap")
    p.add_argument("--fifo", action="store_true", help="also read each dump through a FIFO as the VM writes it")
    p.add_argument("--analyse", action="store_true", help="run the whole analysis after each read")
    p.add_argument("--queries", action="store_true", help="time the snapshot's queries on the first dump of each heap")
    p.add_argument("--out", help="write the results as JSON here")
    p.add_argument("--markdown", help="write the results table here")
    return p.parse_args()


def jcmd(paths):
    return os.path.join(java_home(paths["java"]), "bin", "jcmd")


def histogram(paths, pid):
    out = subprocess.run([jcmd(paths), str(pid), "GC.class_histogram"], capture_output=True, text=True, check=True).stdout
    rows = {}
    for line in out.splitlines():
        m = re.match(r"\s*\d+:\s+(\d+)\s+(\d+)\s+(\S+)", line)
        if m:
            rows[m.group(3)] = (int(m.group(1)), int(m.group(2)))
    return rows


def read_dump(paths, source, analyse=False):
    """Runs the reader on a file or FIFO; its JSON, with the wall time seen from here."""
    start = time.monotonic()
    command = [paths["snapshot_read"], source, "--histogram"] + (["--analyse"] if analyse else [])
    proc = subprocess.run(command, capture_output=True, text=True)
    wall = time.monotonic() - start
    if proc.returncode != 0:
        raise CheckFailed("reader failed on %s: %s" % (source, proc.stderr.strip()))
    result = json.loads(proc.stdout)
    result["wall"] = wall
    return result


def check_histogram(result, expected):
    ours = {name: (n, b) for name, n, b in result.pop("histogram")}
    for name in CHECKED:
        if name in expected and ours.get(name) != expected[name]:
            raise CheckFailed("%s: reader %s, jcmd %s" % (name, ours.get(name), expected[name]))


def dump_to_file(paths, pid, directory):
    path = os.path.join(directory, "heap.hprof")
    start = time.monotonic()
    subprocess.run([jcmd(paths), str(pid), "GC.heap_dump", "-overwrite", path], capture_output=True, check=True)
    seconds = time.monotonic() - start
    size = os.path.getsize(path)
    return path, seconds, size


def dump_through_fifo(paths, pid, directory):
    """The VM writes into a FIFO the reader reads; both timed from the dump's start."""
    fifo = os.path.join(directory, "heap.fifo")
    os.mkfifo(fifo, 0o600)
    outcome = {}

    def reader():
        try:
            outcome["result"] = read_dump(paths, fifo)
        except CheckFailed as e:
            outcome["error"] = e
        outcome["reader_end"] = time.monotonic()

    start = time.monotonic()
    thread = threading.Thread(target=reader)
    thread.start()
    subprocess.run([jcmd(paths), str(pid), "GC.heap_dump", "-overwrite", fifo], capture_output=True, check=True)
    dump_end = time.monotonic()
    thread.join()
    os.unlink(fifo)
    if "error" in outcome:
        raise outcome["error"]
    result = outcome["result"]
    result["dump_seconds"] = dump_end - start
    result["total_seconds"] = outcome["reader_end"] - start
    result["after_last_byte"] = outcome["reader_end"] - dump_end
    return result


def time_queries(paths, path):
    """The snapshot's queries on a dump file (bench/snapshot/snapshot_queries_bench.cpp)."""
    proc = subprocess.run([paths["snapshot_queries"], path], capture_output=True, text=True)
    if proc.returncode != 0:
        raise CheckFailed("queries failed on %s: %s" % (path, proc.stderr.strip()))
    return json.loads(proc.stdout)


def median(values):
    return statistics.median(values) if values else None


def scenario(paths, n, rounds, fifo, analyse, queries):
    heap_mb = max(512, n // 3500)
    cmd = [paths["java"], "-Xms%dm" % heap_mb, "-Xmx%dm" % heap_mb, "-Djava.library.path=" + paths["native_dir"],
           "-cp", live_classes(paths), "SessionHeap", str(n)]
    proc = subprocess.Popen(cmd, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    directory = tempfile.mkdtemp(prefix="vorlan-snapshot-bench-", dir="/dev/shm")
    os.chmod(directory, 0o700)
    try:
        line = proc.stdout.readline()
        if not line.startswith("ready"):
            raise CheckFailed("heap program did not start: %r %s" % (line, proc.stderr.read()[-2000:]))
        expected = histogram(paths, proc.pid)
        runs, streamed = [], []
        timed = None
        for _ in range(rounds):
            path, seconds, size = dump_to_file(paths, proc.pid, directory)
            result = read_dump(paths, path, analyse)
            if queries and timed is None:
                timed = time_queries(paths, path)
                for q in timed["queries"]:
                    print("  %-75s first %7.2f ms, worst %7.2f ms" % (q["name"], q["first_ms"], q["worst_ms"]), flush=True)
            os.unlink(path)
            check_histogram(result, expected)
            result.update(dump_seconds=seconds, dump_bytes=size)
            runs.append(result)
            print("  dump %.2f s, %d MB; read %.2f s (cpu %.2f), peak %.1f B/object" % (
                seconds, size >> 20, result["seconds"], result["user_seconds"] + result["system_seconds"],
                result["peak_bytes_per_object"]), flush=True)
            if analyse:
                a = result["analysis"]
                print("  analysis %.2f s (cpu %.2f); whole process peak %.1f B/object, %.2f x the dump" % (
                    a["seconds"], a["cpu_seconds"], a["peak_rss"] / result["objects"], a["peak_rss"] / size), flush=True)
            if fifo:
                streamed_result = dump_through_fifo(paths, proc.pid, directory)
                check_histogram(streamed_result, expected)
                streamed.append(streamed_result)
                print("  through a FIFO: dump %.2f s, all read %.2f s, %.2f s after the last byte" % (
                    streamed_result["dump_seconds"], streamed_result["total_seconds"],
                    streamed_result["after_last_byte"]), flush=True)
        summary = {
            "objects": runs[0]["objects"],
            "references": runs[0]["references"],
            "dump_bytes": runs[0]["dump_bytes"],
            "dump_seconds": median([r["dump_seconds"] for r in runs]),
            "read_seconds": median([r["seconds"] for r in runs]),
            "read_cpu_seconds": median([r["user_seconds"] + r["system_seconds"] for r in runs]),
            "phases": {k: median([r[k] for r in runs]) for k in ("read_seconds", "resolve_seconds", "size_seconds")},
            "peak_rss": max(r["peak_rss"] for r in runs),
            "parts": {k: runs[0][k] for k in ("graph_bytes", "label_bytes", "address_bytes", "class_bytes")},
            "layout": runs[0]["layout"],
            "threads_named": "%d of %d" % (runs[0]["threads_named"], runs[0]["threads"]),
            "runs": runs,
        }
        if analyse:
            a = [r["analysis"] for r in runs]
            summary["analysis"] = {
                "seconds": median([x["seconds"] for x in a]),
                "cpu_seconds": median([x["cpu_seconds"] for x in a]),
                "peak_rss": max(x["peak_rss"] for x in a),
                "peak_rss_after_read": max(x["peak_rss_after_read"] for x in a),
                "rss_before": runs[0]["analysis"]["rss_before"],
                "kept_bytes": runs[0]["analysis"]["kept_bytes"],
                "step_peak_bytes": runs[0]["analysis"]["step_peak_bytes"],
                "steps": runs[0]["analysis"]["steps"],
            }
        if timed:
            summary["queries"] = timed
        if streamed:
            summary["fifo"] = {
                "dump_seconds": median([r["dump_seconds"] for r in streamed]),
                "total_seconds": median([r["total_seconds"] for r in streamed]),
                "after_last_byte": median([r["after_last_byte"] for r in streamed]),
                "runs": streamed,
            }
        return summary
    finally:
        proc.kill()
        proc.wait()
        shutil.rmtree(directory, ignore_errors=True)


def markdown(results):
    rows = ["| objects | dump (MB) | dump s | read s | read / dump | read CPU s | peak B/object | peak / dump | parts B/object (graph, labels, addresses) |",
            "|---|---|---|---|---|---|---|---|---|"]
    for n, h in sorted(results["heaps"].items(), key=lambda kv: int(kv[0])):
        objects = h["objects"]
        parts = h["parts"]
        rows.append("| %d | %d | %.2f | %.2f | %.2f× | %.2f | %.1f | %.2f× | %.1f, %.1f, %.1f |" % (
            objects, h["dump_bytes"] >> 20, h["dump_seconds"], h["read_seconds"], h["read_seconds"] / h["dump_seconds"],
            h["read_cpu_seconds"], h["peak_rss"] / objects, h["peak_rss"] / h["dump_bytes"],
            parts["graph_bytes"] / objects, parts["label_bytes"] / objects, parts["address_bytes"] / objects))
    fifo_rows = [(n, h["fifo"]) for n, h in sorted(results["heaps"].items(), key=lambda kv: int(kv[0])) if "fifo" in h]
    if fifo_rows:
        rows += ["", "| objects | dump into a FIFO s | all read s | total / dump | after the last byte s | after / dump |",
                 "|---|---|---|---|---|---|"]
        for n, f in fifo_rows:
            rows.append("| %s | %.2f | %.2f | %.2f× | %.2f | %.2f× |" % (
                n, f["dump_seconds"], f["total_seconds"], f["total_seconds"] / f["dump_seconds"],
                f["after_last_byte"], f["after_last_byte"] / f["dump_seconds"]))
    analysed = [(n, h) for n, h in sorted(results["heaps"].items(), key=lambda kv: int(kv[0])) if "analysis" in h]
    if analysed:
        rows += ["", "| objects | analysis s (CPU s) | index B/object before | analysis steps' peak B/object | "
                 "kept for queries B/object | whole process peak B/object | peak / dump |",
                 "|---|---|---|---|---|---|---|"]
        for n, h in analysed:
            a, objects = h["analysis"], h["objects"]
            rows.append("| %d | %.2f (%.2f) | %.1f | %.1f | %.1f | **%.1f** | %.2f× |" % (
                objects, a["seconds"], a["cpu_seconds"], a["rss_before"] / objects, a["step_peak_bytes"] / objects,
                a["kept_bytes"] / objects, a["peak_rss"] / objects, a["peak_rss"] / h["dump_bytes"]))
        for n, h in analysed:
            objects = h["objects"]
            rows += ["", "Steps at %d objects (CPU ms, the step's arrays and what earlier steps hold, B/object):" % objects,
                     "", "| step | CPU ms | its arrays | held meanwhile |", "|---|---|---|---|"]
            for step in h["analysis"]["steps"]:
                rows.append("| %s | %.0f | %.1f | %.1f |" % (step["name"], step["cpu_seconds"] * 1000,
                                                         step["work_bytes"] / objects, step["held_bytes"] / objects))
    queried = [(n, h) for n, h in sorted(results["heaps"].items(), key=lambda kv: int(kv[0])) if "queries" in h]
    for n, h in queried:
        q = h["queries"]
        rows += ["", "Queries on the ready snapshot of %d objects (opened in %.1f s; ms):" % (q["objects"], q["open_ms"] / 1000),
                 "", "| query | first | median | worst |", "|---|---|---|---|"]
        for t in q["queries"]:
            rows.append("| %s | %.2f | %.2f | %.2f |" % (t["name"], t["first_ms"], t["median_ms"], t["worst_ms"]))
    return "\n".join(rows) + "\n"


def main():
    args = parse_args()
    paths = load_paths(args)
    sizes = [int(s) for s in args.sizes.split(",")]
    results = {"machine": machine_info(paths["java"]), "command": " ".join(sys.argv), "heaps": {}}

    def run(write):
        for n in sizes:
            print("heap of %d objects (load %s)" % (n, " ".join(load_average())), flush=True)
            results["heaps"][str(n)] = scenario(paths, n, args.rounds, args.fifo, args.analyse, args.queries)
            write()

    return run_and_report(results, args, run, markdown)


if __name__ == "__main__":
    sys.exit(main())
