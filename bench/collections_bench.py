#!/usr/bin/env python3
"""Times the first page of 1,000 entries of big live collections (HashMap,
ConcurrentHashMap, LinkedHashMap, TreeMap, ArrayList, LinkedList of N entries), read as
their entries through the agent and the client library, against a plain `object` request
of the same collection as the anchor.

    python3 bench/collections_bench.py --build BUILD_DIR [--java JAVA] [--size 1000000] \\
        [--runs 7] [--out results.json] [--markdown table.md]
"""

import argparse
import json
import os
import socket
import subprocess
import sys
import time


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--build", required=True)
    p.add_argument("--java", default=None)
    p.add_argument("--size", type=int, default=1000000)
    p.add_argument("--runs", type=int, default=7)
    p.add_argument("--out")
    p.add_argument("--markdown")
    args = p.parse_args()
    with open(os.path.join(args.build, "bench", "paths.json")) as f:
        paths = json.load(f)
    java = args.java or paths["java"]
    port = free_port()
    jvm = subprocess.Popen([java, "-Xmx4g", "-agentpath:%s=port=%d" % (paths["agent"], port),
                            "-cp", paths["live_classes"], "CollectionsHeap", str(args.size)],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        if jvm.stdout.readline().strip() != "ready":
            sys.exit("the heap did not start")
        time.sleep(1)
        out = subprocess.run([paths["collection_bench"], str(port), str(args.runs)], capture_output=True,
                             text=True, timeout=1800)
        if out.returncode != 0:
            sys.exit(out.stderr)
        rows = [json.loads(line) for line in out.stdout.splitlines()]
    finally:
        jvm.kill()
        jvm.wait()
    version = subprocess.run([java, "-version"], capture_output=True, text=True).stderr.splitlines()[0]
    result = {"java": version, "size": args.size, "runs": args.runs, "load": os.getloadavg()[0], "rows": rows}
    table = ["| collection | type | size | page | object (anchor) ms | first page ms | ratio | next page ms |",
             "|---|---|---:|---:|---:|---:|---:|---:|"]
    for r in rows:
        table.append("| %s | %s | %d | %d | %.2f | %.2f | %.1f | %.2f |" % (
            r["collection"], r["type"], r["size"], r["page"], r["object_ms"], r["first_page_ms"], r["ratio"],
            r["next_page_ms"]))
    text = "%s, %d entries each, median of %d runs, load %.2f\n\n%s\n" % (
        version, args.size, args.runs, result["load"], "\n".join(table))
    print(text)
    if args.out:
        with open(args.out, "w") as f:
            json.dump(result, f, indent=2)
    if args.markdown:
        with open(args.markdown, "w") as f:
            f.write(text)


if __name__ == "__main__":
    main()
