#!/usr/bin/env python3
"""Times the framed requests (histo, object, referrers, path, instances) on large live
heaps against the JVM's own walks (the baseline agent) and jcmd GC.class_histogram,
with the longest stall the program saw and the JVM's memory during each request.

    python3 bench/heap_requests_bench.py --build BUILD_DIR [--java JAVA] \\
        [--sizes 1000000,10000000] [--out results.json] [--markdown table.md]
    python3 bench/heap_requests_bench.py --build BUILD_DIR --smoke   # a small heap, one round

Every reply timed is checked (histogram counts class by class against jcmd and the
baseline, the objects listed, the chain found); a failed check ends the run with status 1.
"""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from driver import heap_requests, live_report  # noqa: E402
from driver.bench_run import load_average, load_paths, machine_info, run_and_report  # noqa: E402


def parse_args():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--build", required=True, help="CMake build directory")
    p.add_argument("--java", help="run the heaps on this java (its own jcmd is used)")
    p.add_argument("--agent", help="time this agent library instead of the build's")
    p.add_argument("--sizes", default="1000000,10000000", help="live objects per heap, comma-separated")
    p.add_argument("--rounds", type=int, default=3, help="repetitions of each request")
    p.add_argument("--object-runs", type=int, default=200, help="repetitions of the object request")
    p.add_argument("--deep-rounds", type=int, default=1, help="repetitions of the deepest path")
    p.add_argument("--smoke", action="store_true", help="one small heap, one round: a check that it all works")
    p.add_argument("--out", help="write the results as JSON here")
    p.add_argument("--markdown", help="write the results table here")
    return p.parse_args()


def heap_mb_for(objects):
    # About 60 bytes per object live; room for the collections to work in.
    return max(512, objects // 5000)


def main():
    args = parse_args()
    paths = load_paths(args)
    sizes = [int(s) for s in args.sizes.split(",")]
    rounds, object_runs, deep_rounds = args.rounds, args.object_runs, args.deep_rounds
    if args.smoke:
        sizes, rounds, object_runs, deep_rounds = [20000], 1, 5, 1
    results = {"machine": machine_info(paths["java"]), "command": " ".join(sys.argv), "sizes": sizes, "heaps": {}}

    def run(write):
        for n in sizes:
            load = load_average()
            print("heap of %d objects (load %s)" % (n, " ".join(load)), flush=True)
            results["heaps"][str(n)] = heap_requests.heap_requests_scenario(
                paths, n, heap_mb_for(n), rounds, object_runs, deep_rounds)
            results["heaps"][str(n)]["load_at_start"] = load
            write()

    return run_and_report(results, args, run, live_report.heap_requests_markdown)


if __name__ == "__main__":
    sys.exit(main())
