#!/usr/bin/env python3
"""Times the explorer's Memory view on heap dumps of a SessionHeap of N live objects
(bench/explorer/memory_view_bench.cpp, offscreen): the dump read and analysed by the
window's loader while a 10 ms timer watches the event loop, the dominator tree's first
rows painted and a big node's first page, each against the query the view makes, alone,
in the same run; and the memory the window holds for the snapshot against the snapshot
library's own figure.

With --capture the snapshot is taken from the running heap program as Take a snapshot
takes it (the live capture and its analysis off the GUI thread, the event loop watched
the same way) instead of opened from a dump file. With --visualvm the dump file is also
opened by VisualVM's heap engine (as in capture_bench.py, under its default heap limit),
for its time to the first retained size beside the window's time to the dominator tree.

    python3 bench/memory_view_bench.py --build BUILD_DIR [--java JAVA] \\
        [--sizes 1000000,10000000] [--runs 5] [--capture | --visualvm] [--out results.json]
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from driver.bench_run import load_paths  # noqa: E402
from driver.live_heap import live_classes  # noqa: E402
from snapshot_bench import dump_to_file  # noqa: E402
from capture_bench import visualvm  # noqa: E402


def parse_args():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--build", required=True, help="CMake build directory")
    p.add_argument("--java", help="run the heap on this java (its own jcmd is used)")
    p.add_argument("--sizes", default="1000000,10000000", help="live objects per heap, comma-separated")
    p.add_argument("--runs", type=int, default=5, help="repetitions of each timed step")
    p.add_argument("--capture", action="store_true", help="take the snapshot live instead of from a dump file")
    p.add_argument("--visualvm", action="store_true", help="also open the dump file with VisualVM's heap engine")
    p.add_argument("--visualvm-java", default="/usr/lib/jvm/java-17-openjdk-amd64/bin/java")
    p.add_argument("--visualvm-timeout", type=int, default=3600)
    p.add_argument("--out", help="write the results as JSON here")
    return p.parse_args()


def main():
    args = parse_args()
    paths = load_paths(args)
    bench = os.path.join(args.build, "bench", "vorlan_memory_view_bench")
    results = []
    for n in [int(s) for s in args.sizes.split(",")]:
        heap_mb = max(512, n // 3500)
        cmd = [paths["java"], "-Xms%dm" % heap_mb, "-Xmx%dm" % heap_mb, "-Djava.library.path=" + paths["native_dir"],
               "-cp", live_classes(paths), "SessionHeap", str(n)]
        proc = subprocess.Popen(cmd, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        directory = tempfile.mkdtemp(prefix="vorlan-memory-view-bench-", dir="/dev/shm")
        try:
            if not proc.stdout.readline().startswith("ready"):
                raise SystemExit("heap program did not start: " + proc.stderr.read()[-2000:])
            if args.capture:
                source, seconds, size = "pid=%d" % proc.pid, None, None
            else:
                source, seconds, size = dump_to_file(paths, proc.pid, directory)
                proc.kill()
                proc.wait()
            out = subprocess.run([bench, source, str(args.runs)], capture_output=True, text=True, check=True,
                                 env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
            result = json.loads(out.stdout.strip().splitlines()[-1])
            result.update(live_objects=n, dump_bytes=size, dump_seconds=seconds)
            if args.visualvm and not args.capture:
                result["visualvm"] = visualvm(args, source)
                print("  VisualVM's engine: %s; the window's dominator tree ready %.1f s after opening" % (
                    result["visualvm"], result["open_ms"] / 1000), flush=True)
            results.append(result)
            print("%d objects: first rows %.1f ms (%.1f x the query alone), a %d-child node's first page %.1f ms "
                  "(%.1f x), event loop late %.1f ms at worst while %s (%.1f s), memory %.2f x the library's" % (
                      result["objects"], result["first_rows_ms"], result["first_rows_ratio"],
                      result["big_node_children"], result["big_node_ms"], result["big_node_ratio"],
                      result["open_late_ms"], "capturing" if args.capture else "opening", result["open_ms"] / 1000, result["memory_ratio"]), flush=True)
        finally:
            if proc.poll() is None:
                proc.kill()
                proc.wait()
            shutil.rmtree(directory, ignore_errors=True)
    if args.out:
        with open(args.out, "w") as f:
            json.dump(results, f, indent=2)


if __name__ == "__main__":
    main()
