"""The measured scenarios. Each checks the replies it times, so a broken agent cannot
pass for a fast one, and returns plain numbers for the report."""

import json
import os
import statistics
import subprocess
import time

from .clients import AgentClient, BaselineClient, listing_lines
from .heap_jvm import HeapJvm


class CheckFailed(Exception):
    pass


def check(condition, message):
    if not condition:
        raise CheckFailed(message)


def summary(seconds):
    """Median, min and max in milliseconds."""
    ms = [s * 1000.0 for s in seconds]
    return {"median": statistics.median(ms), "min": min(ms), "max": max(ms), "n": len(ms)}


def _find_root(agent, signature):
    _, body = agent.prepare()
    for handle, sig in listing_lines(body):
        if sig == signature:
            return handle
    raise CheckFailed("no root of %s in the root listing" % signature)


def expand_scenario(paths, main, args, signature, expected_lines, runs, jvms):
    """Times "e" on the pinned object of `signature` against the baseline's one-level walk.

    In each JVM the first expansion is cold (the agent makes a descriptor and a tag for
    every referenced object; the baseline tags the same objects); the next `runs` are warm
    and compared with the baseline's counting walk padded to the same reply size.
    """
    cold, cold_base, warm, warm_base, base_walk, prepare = [], [], [], [], [], []
    reply_bytes = 0
    for _ in range(jvms):
        with HeapJvm(paths, main, args, agent_kind=1, baseline=True) as jvm:
            agent, base = AgentClient(jvm.agent_port), BaselineClient(jvm.baseline_port)
            handle = _find_root(agent, signature)
            t, _ = agent.prepare()
            prepare.append(t)
            check(base.select(signature), "baseline found no root of %s" % signature)
            for i in range(runs + 1):
                t, body = agent.expand(handle)
                lines = listing_lines(body)
                check(len(lines) == expected_lines,
                      "expanding %s listed %d lines, not %d" % (signature, len(lines), expected_lines))
                tb, fields = base.walk(len(body), tag_each=(i == 0))
                check(fields["count"] == expected_lines,
                      "baseline walk met %d references, not %d" % (fields["count"], expected_lines))
                (cold if i == 0 else warm).append(t)
                (cold_base if i == 0 else warm_base).append(tb)
                if i > 0:
                    base_walk.append(fields["walk_ns"] / 1e9)
                reply_bytes = len(body)
            agent.close()
            base.close()
    return {
        "reply_bytes": reply_bytes,
        "lines": expected_lines,
        "agent_cold": summary(cold),
        "baseline_cold_tagging": summary(cold_base),
        "agent": summary(warm),
        "baseline": summary(warm_base),
        "baseline_walk_only": summary(base_walk),
        "agent_prepare": summary(prepare),
    }


def prepare_scenario(paths, main, args, kind, min_classes, runs, expect_signatures=()):
    """Times "p" against the baseline's collection, class table and root walk."""
    agent_t, base_t, gc, classes, walk = [], [], [], [], []
    with HeapJvm(paths, main, args, agent_kind=kind, baseline=True) as jvm:
        agent, base = AgentClient(jvm.agent_port), BaselineClient(jvm.baseline_port)
        for _ in range(runs):
            t, body = agent.prepare()
            sigs = {sig for _, sig in listing_lines(body)}
            for want in expect_signatures:
                check(want in sigs, "root listing lacks %s" % want)
            tb, fields = base.prepare(len(body))
            check(fields["classes"] >= min_classes,
                  "baseline saw %d classes, fewer than %d" % (fields["classes"], min_classes))
            agent_t.append(t)
            base_t.append(tb)
            gc.append(fields["gc_ns"] / 1e9)
            classes.append(fields["classes_ns"] / 1e9)
            walk.append(fields["walk_ns"] / 1e9)
        agent.close()
        base.close()
    return {
        "reply_bytes": len(body),
        "classes": fields["classes"],
        "roots": fields["count"],
        "agent": summary(agent_t),
        "baseline": summary(base_t),
        "baseline_gc": summary(gc),
        "baseline_classes": summary(classes),
        "baseline_root_walk": summary(walk),
    }


def _settled_rss_kb(jvm):
    """RSS once the agent has finished with the request (it frees the body after sending)."""
    time.sleep(0.3)
    return jvm.rss_kb()


def memory_scenario(paths, n, heap_mb, expansions=3):
    """RSS growth of the whole JVM process after expanding Object[n]: the agent's, and the
    baseline's after tagging the same objects, each in a JVM of its own with a fixed heap.
    Both then repeat the walk, to show what stays resident in the steady state."""
    signature = "[Ljava/lang/Object;"
    with HeapJvm(paths, "ArrayHeap", [n], agent_kind=1, heap_mb=heap_mb, fixed_heap=True) as jvm:
        agent = AgentClient(jvm.agent_port)
        handle = _find_root(agent, signature)
        before = _settled_rss_kb(jvm)
        _, body = agent.expand(handle)
        check(len(listing_lines(body)) == n + 1, "memory run: wrong expansion size")
        after_first = _settled_rss_kb(jvm)
        for _ in range(expansions - 1):
            agent.expand(handle)
        after_all = _settled_rss_kb(jvm)
        agent.close()
    with HeapJvm(paths, "ArrayHeap", [n], baseline=True, heap_mb=heap_mb, fixed_heap=True) as jvm:
        base = BaselineClient(jvm.baseline_port)
        check(base.select(signature), "memory run: baseline found no array")
        base_before = _settled_rss_kb(jvm)
        _, fields = base.walk(0, tag_each=True)
        check(fields["count"] == n + 1, "memory run: baseline met %d references" % fields["count"])
        base_after = _settled_rss_kb(jvm)
        for _ in range(expansions - 1):
            base.walk(0)
        base_after_all = _settled_rss_kb(jvm)
        base.close()
    kb = 1024
    return {
        "objects": n,
        "expansions": expansions,
        "agent_growth_bytes": (after_first - before) * kb,
        "agent_growth_after_repeats_bytes": (after_all - before) * kb,
        "baseline_growth_bytes": (base_after - base_before) * kb,
        "baseline_growth_after_repeats_bytes": (base_after_all - base_before) * kb,
        "bytes_per_object_beyond_tags": ((after_first - before) - (base_after - base_before)) * kb / n,
        "bytes_per_object_beyond_tags_after_repeats": ((after_all - before) - (base_after_all - base_before)) * kb / n,
    }


def viewer_scenario(paths, n, expansions):
    """The viewer expanding Object[n] from a live agent, offscreen: time from the expand
    request to the rows painted, and peak RSS growth of the viewer process."""
    signature = "[Ljava/lang/Object;"
    with HeapJvm(paths, "ArrayHeap", [n], agent_kind=1) as jvm:
        agent = AgentClient(jvm.agent_port)
        handle = _find_root(agent, signature)
        agent.close()  # the agent serves one client at a time
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        run = subprocess.run([paths["viewer_bench"], str(jvm.agent_port), handle, str(expansions)],
                             capture_output=True, text=True, env=env, timeout=600)
        check(run.returncode == 0, "viewer bench failed: %s" % run.stderr[-2000:])
    samples = [json.loads(line) for line in run.stdout.splitlines() if line.startswith("{")]
    check(len(samples) == expansions, "viewer bench reported %d expansions" % len(samples))
    for s in samples:
        check(s["rows"] == n + 1, "viewer showed %d rows, not %d" % (s["rows"], n + 1))
    growth_mb = [(s["peak_kb"] - s["base_kb"]) / 1024.0 for s in samples]
    return {
        "lines": n + 1,
        "shown": summary([s["seconds"] for s in samples]),
        "first_shown_ms": samples[0]["seconds"] * 1000.0,
        "peak_growth_mb": max(growth_mb),
        "peak_growth_first_mb": growth_mb[0],
    }
