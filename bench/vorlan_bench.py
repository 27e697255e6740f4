#!/usr/bin/env python3
"""Times the Vorlan agent against the bench-only baseline agent on generated heaps.

    python3 bench/vorlan_bench.py --build BUILD_DIR [--out results.json] [--markdown table.md]
    python3 bench/vorlan_bench.py --build BUILD_DIR --smoke     # small sizes, one run each

Every reply timed is also checked (line counts, baseline reference counts); a failed check
ends the run with status 1. Benchmarks proper are never run by the test command.
"""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from driver import explorer, report, scenarios  # noqa: E402
from driver.bench_run import load_paths, machine_info, run_and_report  # noqa: E402


def parse_args():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--build", required=True, help="CMake build directory")
    p.add_argument("--smoke", action="store_true", help="smallest sizes, one run: a check that it all works")
    p.add_argument("--runs", type=int, default=7, help="warm repetitions per JVM")
    p.add_argument("--jvms", type=int, default=3, help="fresh JVMs per array size (first expansions)")
    p.add_argument("--only", default="arrays,graph,classes,idle,memory,viewer,explorer",
                   help="comma-separated scenarios")
    p.add_argument("--java", help="run the heaps on this java instead of the build's JDK")
    p.add_argument("--agent", help="time this agent library instead of the build's (an older one, say)")
    p.add_argument("--out", help="write the results as JSON here")
    p.add_argument("--markdown", help="write the results table here")
    return p.parse_args()


def main():
    args = parse_args()
    paths = load_paths(args)
    if args.smoke:
        sizes, runs, jvms = [10**4], 1, 1
        chains, links, classes, mem_n, mem_heap = 10, 100, 200, 10**4, 256
        viewer_runs = 1
        explorer_sizes = dict(array_n=10**4, classes_n=200, chains=10, links=100, hops=1, runs=1, walks=1)
    else:
        sizes, runs, jvms = [10**4, 10**5, 10**6], args.runs, args.jvms
        chains, links, classes, mem_n, mem_heap = 1000, 2998, 20000, 10**6, 1024
        viewer_runs = max(args.runs, 3)
        # Five hops take about 3 s of walks on the 3-million-object graph.
        explorer_sizes = dict(array_n=10**6, classes_n=20000, chains=1000, links=2998, hops=5,
                              runs=max(args.runs, 3), walks=3)
    only = set(args.only.split(","))
    results = {"machine": machine_info(paths["java"]), "command": " ".join(sys.argv)}

    def run(write):
        if "arrays" in only:
            results["arrays"] = {}
            for n in sizes:
                print("arrays: Object[%d]" % n, flush=True)
                results["arrays"][str(n)] = scenarios.expand_scenario(
                    paths, "ArrayHeap", [n], "[Ljava/lang/Object;", n + 1, runs, jvms)
        if "graph" in only:
            print("graph: %d chains of %d links" % (chains, links), flush=True)
            results["graph_objects"] = chains * (links + 1) + 1
            # The head lists its class, its first chain and its label.
            results["graph"] = scenarios.expand_scenario(
                paths, "GraphHeap", [chains, links], "LGraphHead;", 3, max(runs, 5), 1)
        if "classes" in only:
            print("classes: %d generated" % classes, flush=True)
            results["classes"] = scenarios.prepare_scenario(
                paths, "ClassesHeap", [classes], 0, classes, max(runs, 3))
        if "idle" in only:
            print("idle", flush=True)
            results["idle"] = scenarios.prepare_scenario(
                paths, "IdleHeap", [], 1, 100, max(runs, 3),
                expect_signatures=("Ljava/lang/String;", "[I", "[Ljava/lang/Object;"))
        if "memory" in only:
            print("memory: Object[%d]" % mem_n, flush=True)
            results["memory"] = scenarios.memory_scenario(paths, mem_n, mem_heap)
        if "viewer" in only:
            if paths.get("viewer_bench"):
                print("viewer: Object[%d]" % mem_n, flush=True)
                results["viewer"] = scenarios.viewer_scenario(paths, mem_n, viewer_runs)
            else:
                print("viewer: not built, skipped", flush=True)
        if "explorer" in only:
            if paths.get("explorer_bench"):
                print("explorer: Object[%(array_n)d], %(classes_n)d classes, a %(hops)d-hop path" % explorer_sizes,
                      flush=True)
                results["explorer"] = explorer.explorer_scenario(paths, **explorer_sizes)
            else:
                print("explorer: not built, skipped", flush=True)

    return run_and_report(results, args, run, report.markdown)


if __name__ == "__main__":
    sys.exit(main())
