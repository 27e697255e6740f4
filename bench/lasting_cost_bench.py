#!/usr/bin/env python3
"""What a huge expansion leaves behind: on a 20M-object heap, the classic "p" and "e"
and the program's own GC pauses before the expansion of an Object[10^7], after it, and
after the next "p"; the JVM's memory at each stage; the baseline's walk of the same
array. Then a soak on the e2e churn program, with the agent's memory per live handle.

    python3 bench/lasting_cost_bench.py --build BUILD_DIR [--java JAVA] \\
        [--only lasting,soak,control] [--out results.json] [--markdown table.md]
    python3 bench/lasting_cost_bench.py --build BUILD_DIR --smoke   # small sizes

Every reply timed is checked (line counts, distinct handles, the baseline's reference
count); a failed check ends the run with status 1.
"""

import argparse
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from driver import lasting_cost, live_report  # noqa: E402
from driver.bench_run import load_average, load_paths, machine_info, run_and_report  # noqa: E402


def parse_args():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--build", required=True, help="CMake build directory (with the e2e tests built, for the soak)")
    p.add_argument("--java", help="run the programs on this java")
    p.add_argument("--agent", help="time this agent library instead of the build's")
    p.add_argument("--only", default="lasting,soak", help="comma-separated: lasting, soak, control (GC drift without requests)")
    p.add_argument("--objects", type=int, default=10**7, help="objects of the session heap beside the array")
    p.add_argument("--array", type=int, default=10**7, help="elements of the Object[] expanded")
    p.add_argument("--heap-mb", type=int, default=6144)
    p.add_argument("--reps", type=int, default=5, help="repetitions of each small request per stage")
    p.add_argument("--soak-requests", type=int, default=6000)
    p.add_argument("--soak-seed", type=int, default=1)
    p.add_argument("--smoke", action="store_true", help="small sizes: a check that it all works")
    p.add_argument("--out", help="write the results as JSON here")
    p.add_argument("--add", action="store_true",
                   help="keep the scenarios already in --out that this run does not repeat")
    p.add_argument("--markdown", help="write the results table here")
    return p.parse_args()


def main():
    args = parse_args()
    paths = load_paths(args)
    objects, array, heap_mb, reps, soak_requests = args.objects, args.array, args.heap_mb, args.reps, args.soak_requests
    if args.smoke:
        objects, array, heap_mb, reps, soak_requests = 20000, 100000, 512, 2, 200
    only = set(args.only.split(","))
    results = {}
    if args.add and args.out and os.path.exists(args.out):
        with open(args.out) as f:
            results = json.load(f)
    results.update({"machine": machine_info(paths["java"]), "command": " ".join(sys.argv)})

    def record(name, scenario, write):
        scenario["machine"] = dict(results["machine"], command=" ".join(sys.argv), load_at_end=load_average())
        results[name] = scenario
        write()

    def run(write):
        if "lasting" in only:
            print("lasting cost: %d objects and an Object[%d] (load %s)" % (objects, array, " ".join(load_average())),
                  flush=True)
            record("lasting", lasting_cost.lasting_cost_scenario(paths, objects, array, heap_mb, reps), write)
        if "control" in only:
            print("control: the same heap's collections without requests", flush=True)
            record("control", lasting_cost.gc_drift_scenario(paths, objects, array, heap_mb), write)
        if "soak" in only:
            e2e = os.path.join(args.build, "tests", "e2e")
            print("soak: %d requests (load %s)" % (soak_requests, " ".join(load_average())), flush=True)
            soak = lasting_cost.soak_scenario(paths, e2e, soak_requests, args.soak_seed)
            binary = os.path.join(e2e, "agent_soak_tests")
            if os.path.exists(binary) and not args.agent:
                print("soak test: %d requests" % soak_requests, flush=True)
                soak["test"] = lasting_cost.soak_test_binary(binary, paths["java"], soak_requests)
            record("soak", soak, write)

    return run_and_report(results, args, run, live_report.lasting_cost_markdown)


if __name__ == "__main__":
    sys.exit(main())
