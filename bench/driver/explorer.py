"""The explorer's window against live agents, offscreen: an Object[N]'s first page, the
histogram of a program with many classes, and the event loop during a long walk."""

import json
import os
import subprocess

from .clients import AgentClient
from .heap_jvm import HeapJvm
from .scenarios import _find_root, check, summary


def _run_bench(paths, port, args):
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    run = subprocess.run([paths["explorer_bench"], str(port)] + [str(a) for a in args],
                         capture_output=True, text=True, env=env, timeout=900)
    check(run.returncode == 0, "explorer bench %s failed: %s" % (args[0], run.stderr[-2000:]))
    return [json.loads(line) for line in run.stdout.splitlines() if line.startswith("{")]


def _root_handle(jvm, signature):
    agent = AgentClient(jvm.agent_port)
    handle = _find_root(agent, signature)
    agent.close()
    return handle


def explorer_scenario(paths, array_n, classes_n, chains, links, hops, runs, walks):
    results = {}
    with HeapJvm(paths, "ArrayHeap", [array_n], agent_kind=1) as jvm:
        samples = _run_bench(paths, jvm.agent_port, ["array", _root_handle(jvm, "[Ljava/lang/Object;"), runs])
    check(len(samples) == runs, "array: %d runs reported" % len(samples))
    for s in samples:
        # The class slot, the first page and the "more" row.
        check(s["rows"] == 1 + min(array_n, 1000) + (1 if array_n > 1000 else 0) and s["total"] == array_n,
              "array: %d rows of %d shown" % (s["rows"], s["total"]))
    results["array"] = {"n": array_n, "shown": summary([s["shown_ms"] / 1000.0 for s in samples])}

    with HeapJvm(paths, "ClassesHeap", [classes_n, "instances"], agent_kind=1) as jvm:
        samples = _run_bench(paths, jvm.agent_port, ["histo", runs])
    check(len(samples) == runs and all(s["rows"] >= classes_n for s in samples), "histo: too few rows")
    results["histo"] = {
        "rows": samples[0]["rows"],
        "shown": summary([s["reply_to_shown_ms"] / 1000.0 for s in samples]),
        "sort_name": summary([s["sort_name_ms"] / 1000.0 for s in samples]),
        "sort_instances": summary([s["sort_instances_ms"] / 1000.0 for s in samples]),
    }

    with HeapJvm(paths, "GraphHeap", [chains, links], agent_kind=1) as jvm:
        head = _root_handle(jvm, "LGraphHead;")
        samples = [_run_bench(paths, jvm.agent_port, ["walk", head, hops])[0] for _ in range(walks)]
    for s in samples:
        check(s["path_rows"] >= 1 and not s["error"], "walk: no path shown (%s)" % s["error"])
        check(s["busy_shown"], "walk: the status bar showed no busy indicator")
    results["walk"] = {
        "objects": chains * (links + 1) + 1,
        "hops": hops,
        "walk": summary([s["walk_ms"] / 1000.0 for s in samples]),
        "late_max_ms": max(s["late_max_ms"] for s in samples),
        "late_p99_ms": max(s["late_p99_ms"] for s in samples),
        "idle_late_max_ms": max(s["idle"]["late_max_ms"] for s in samples),
        "cpu_ms": max(s["cpu_ms"] for s in samples),
        "samples": samples,
    }
    return results
