"""What every benchmark command shares: the build's paths, the machine it ran on, the
results written out after each scenario, and the table at the end."""

import datetime
import json
import os
import platform
import subprocess
import sys

from .scenarios import CheckFailed


def load_paths(args):
    """The build's bench/paths.json, with --java and --agent put in."""
    with open(os.path.join(args.build, "bench", "paths.json")) as f:
        paths = json.load(f)
    if getattr(args, "java", None):
        paths["java"] = args.java
    if getattr(args, "agent", None):
        paths["agent"] = args.agent
    return paths


def load_average():
    with open("/proc/loadavg") as f:
        return f.read().split()[:3]


def source_revision():
    """The commit the agent was built from, and whether agent/ differed from it."""
    repo = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    head = subprocess.run(["git", "-C", repo, "rev-parse", "HEAD"], capture_output=True, text=True).stdout.strip()
    dirty = subprocess.run(["git", "-C", repo, "status", "--porcelain", "agent"], capture_output=True, text=True).stdout
    return {"commit": head, "agent_dirty": bool(dirty.strip())}


def machine_info(java):
    version = subprocess.run([java, "-version"], capture_output=True, text=True).stderr.splitlines()
    with open("/proc/cpuinfo") as f:
        cpu = next((row.split(":", 1)[1].strip() for row in f if row.startswith("model name")), "?")
    return {
        "date": datetime.datetime.now().isoformat(timespec="seconds"),
        "cpu": cpu,
        "cores": os.cpu_count(),
        "kernel": platform.release(),
        "java": java,
        "jdk": version[1] if len(version) > 1 else "?",
        "load_at_start": load_average(),
        "source": source_revision(),
    }


def run_and_report(results, args, run, markdown):
    """Calls run(write), where write() saves the results so far to --out; saves them once
    more at the end, even after a failed check, then prints the table markdown(results)
    and writes it to --markdown. Returns the exit status: 1 after a failed check."""
    def write():
        results["machine"]["load_at_end"] = load_average()
        if args.out:
            with open(args.out, "w") as f:
                json.dump(results, f, indent=1)

    try:
        run(write)
    except CheckFailed as e:
        print("CHECK FAILED: %s" % e, file=sys.stderr)
        write()
        return 1
    write()
    table = markdown(results)
    print(table)
    if args.markdown:
        with open(args.markdown, "w") as f:
            f.write(table)
    return 0
