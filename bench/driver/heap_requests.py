"""The framed requests on a large live heap (SessionHeap), each set against the JVM's
own walk for it (the baseline agent), jcmd where the JDK has a command for it, and the
longest stall the program saw while it ran. Every reply timed is checked."""

import re
import statistics
import time

from .framed import FramedClient, slot_map
from .live_heap import HeapBaseline, LiveHeapJvm, RssWatch, StallLog, gc_pauses, java_major, parse_class_histogram, run_jcmd
from .scenarios import check, summary

# What a thread attached to the VM holds while it is attached (JDK 17: the Thread, its
# name and the name's bytes, its inherited AccessControlContext and its blocker lock;
# later JDKs: a field holder instead of the context). Agent and baseline count their own
# server thread, attached during the walk; jcmd, whose attach listener is not a thread
# of theirs, does not.
ATTACHED_THREAD_CLASSES = {"java.lang.Thread", "java.lang.String", "[B", "java.security.AccessControlContext",
                           "java.lang.Object", "java.lang.Thread$FieldHolder", "java.lang.Thread$Constants"}


def java_string_hash(text):
    h = 0
    for ch in text:
        h = (31 * h + ord(ch)) & 0xFFFFFFFF
    return h


def hashmap_index(key, table_length):
    h = java_string_hash(key)
    return (h ^ (h >> 16)) & (table_length - 1)


class Navigator:
    """Finds objects by following fields and elements with "object" requests, keeping
    the route so the baseline can reach the same object through JNI."""

    def __init__(self, client):
        self.client = client

    def object(self, handle, *opts):
        return self.client.request("object", handle, *opts)[1]

    def field(self, handle, name):
        slot = slot_map(self.object(handle)).get(name)
        check(slot is not None and slot["handle"], "object %s has no reference field %s" % (handle, name))
        return slot["handle"], slot

    def element(self, handle, index):
        reply = self.object(handle, "offset=%d" % index, "limit=1")
        slot = slot_map(reply).get(str(index))
        check(slot is not None, "array %s has no element %d" % (handle, index))
        return slot["handle"] or None

    def length(self, handle):
        rec = self.object(handle, "limit=0").of_kind("object")[0]
        return int(rec[4])

    def session(self, store, key):
        """(handle, route from the store, chain of types from the store down)."""
        sessions, _ = self.field(store, "sessions")
        table, _ = self.field(sessions, "table")
        index = hashmap_index(key, self.length(table))
        node = self.element(table, index)
        route = ["sessions", "table", "[%d]" % index]
        types = ["SessionStore", "java.util.HashMap", "[Ljava.util.HashMap$Node;", "java.util.HashMap$Node"]
        while node:
            slots = slot_map(self.object(node))
            if slots["key"]["preview"] == '"%s"' % key:
                route.append("value")
                types.append("Session")
                return slots["value"]["handle"], route, types
            node = slots["next"]["handle"] or None
            route.append("next")
            types.append("java.util.HashMap$Node")
        raise AssertionError("no session %s in its bucket" % key)

    def follow(self, handle, route, types, steps):
        """Follows (field, type) steps from handle, extending route and types."""
        for name, type_name in steps:
            handle, slot = self.field(handle, name)
            check(slot["type"] == type_name, "%s is a %s, not a %s" % (name, slot["type"], type_name))
            route = route + [name]
            types = types + [type_name]
        return handle, route, types


def agent_histogram(client, walk=False):
    """histo as counted by the VM (the default), or by the agent's own walk."""
    t, reply = client.request("histo", *(["walk=1"] if walk else []))
    check(reply.figures.get("counted_by") == ("agent" if walk else "vm"),
          "histo was counted by %s" % reply.figures.get("counted_by"))
    rows = {r[1]: (int(r[2]), int(r[3])) for r in reply.of_kind("class")}
    check(sum(n for n, _ in rows.values()) == reply.number("instances"), "histo rows do not add up to its total")
    return t, reply, rows


def class_differences(a, b):
    """{class: (a's (instances, bytes), b's)} for every class where they differ."""
    out = {}
    for name in set(a) | set(b):
        if a.get(name, (0, 0)) != b.get(name, (0, 0)):
            out[name] = [list(a.get(name, (0, 0))), list(b.get(name, (0, 0)))]
    return out


def count_differences(diff):
    """The classes of a class_differences result whose instance counts differ."""
    return {k: v for k, v in diff.items() if v[0][0] != v[1][0]}


def bytes_only_differences_explained(diff):
    """Same counts, other bytes: only the name of the attached thread, "Thread-N", whose
    bytes grow by 8 when N gains a digit, may do that."""
    same_count = {k: v for k, v in diff.items() if v[0][0] == v[1][0]}
    return all(k == "[B" and abs(v[0][1] - v[1][1]) <= 16 for k, v in same_count.items())


def _stalled(stalls, record, fn):
    """Runs fn inside a stall window that fills record["stall_ms"] when resolved."""
    with stalls.window(record):
        return fn()


def _watched(jvm, stalls, record, fn, settle=0.3):
    """Runs fn under an RssWatch and in a stall window; record gets "rss" (with the RSS
    once the agent has had settle seconds to give memory back) and, later, "stall_ms"."""
    with stalls.window(record):
        with RssWatch(jvm) as watch:
            out = fn()
    time.sleep(settle)
    record["rss"] = watch.figures()
    record["rss"]["settled_kb"] = jvm.status_kb("RssAnon")
    return out


def _median(values):
    return statistics.median(values) if values else None


def settle_histogram(client, tries=10):
    """Asks for histograms a second apart until two agree: the driver's own commands to
    the program leave short-lived objects behind that take a while to die."""
    _, _, rows = agent_histogram(client)
    for _ in range(tries):
        time.sleep(1)
        _, _, again = agent_histogram(client)
        if not count_differences(class_differences(again, rows)):
            return True
        rows = again
    return False


def histo_part(jvm, stalls, client, base, java, rounds):
    """Agent histo, jcmd GC.class_histogram and the baseline's histogram, alternated, in
    the same JVM with nothing else running; counts compared class by class."""
    # The first attach starts the VM's attach listener (a thread and its objects).
    run_jcmd(java, jvm.pid, "GC.class_histogram")
    base.histogram()
    startup = [run_jcmd(java, jvm.pid, "VM.version")[0] for _ in range(3)]
    agent_histogram(client, walk=True)  # its first catalogues the classes, once
    check(settle_histogram(client), "the heap does not settle: two histograms in a row differ")
    out = {"rounds": [], "jcmd_startup_s": summary(startup)}
    log_before = len(jvm.gc_log_lines())
    for _ in range(rounds):
        x = {}
        t, reply, rows = _watched(jvm, stalls, x, lambda: agent_histogram(client), settle=0)
        jcmd_window = {}
        tj, text = _stalled(stalls, jcmd_window, lambda: run_jcmd(java, jvm.pid, "GC.class_histogram"))
        jrows, jtotal = parse_class_histogram(text)
        base_window = {}
        tb, fields, brows = _stalled(stalls, base_window, lambda: base.histogram(reply.body_bytes))
        walked_window = {}
        tw, walked, wrows = _stalled(stalls, walked_window, lambda: agent_histogram(client, walk=True))
        t2, reply2, rows2 = agent_histogram(client)
        diff_jcmd = class_differences(rows, jrows)
        diff_base = class_differences(wrows, brows)
        diff_walked = class_differences(rows, wrows)
        diff_again = class_differences(rows, rows2)
        check(jtotal is not None and len(jrows) > 100, "jcmd printed no histogram")
        for label, diff in (("baseline", diff_base), ("a second histo", diff_again), ("jcmd", diff_jcmd),
                            ("the agent's walk", diff_walked)):
            check(bytes_only_differences_explained(diff), "histo and %s: bytes differ: %s" % (label, diff))
        check(not count_differences(diff_base), "agent walk and baseline counts differ: %s" % diff_base)
        # The walk comes a collection after its collection: what the program's sleeper
        # allocates in between is counted too.
        moved = sum(abs(a[0] - b[0]) for a, b in count_differences(diff_walked).values())
        check(moved <= 32, "the VM's and the agent's counts differ: %s" % diff_walked)
        check(not count_differences(diff_again), "the heap changed between two histo requests: %s" % diff_again)
        counts_jcmd = count_differences(diff_jcmd)
        extra = sum(a[0] - b[0] for a, b in counts_jcmd.values())
        check(set(counts_jcmd) <= ATTACHED_THREAD_CLASSES and 0 <= extra <= 8 and
              all(a[0] >= b[0] for a, b in counts_jcmd.values()),
              "agent and jcmd counts differ beyond the agent's attached thread: %s" % diff_jcmd)
        x.update({
            "agent_s": t, "agent_pause_ms": reply.number("walk_ms"),
            "walked_s": tw, "walked_gc_ms": walked.number("gc_ms"), "walked_walk_ms": walked.number("walk_ms"),
            "walked_window": walked_window, "walked_moved": moved,
            "instances": reply.number("instances"), "bytes": reply.number("bytes"), "classes": reply.number("classes"),
            "jcmd_s": tj, "jcmd_window": jcmd_window, "jcmd_total": list(jtotal), "jcmd_classes": len(jrows),
            "baseline_s": tb, "baseline_window": base_window, "baseline_gc_ms": fields["gc_ns"] / 1e6,
            "baseline_walk_ms": fields["walk_ns"] / 1e6, "baseline_tag_ms": fields["tag_ns"] / 1e6,
            "differs_from_jcmd": diff_jcmd, "counts_differ_from_jcmd": counts_jcmd, "objects_beyond_jcmd": extra,
        })
        out["rounds"].append(x)
    stalls.resolve()
    pauses = gc_pauses(jvm.gc_log_lines()[log_before:])
    out["jcmd_gc_pause_ms"] = [p[2] for p in pauses if "Heap Inspection" in p[1]]
    out["agent_gc_pause_ms"] = [p[2] for p in pauses if "ForceGarbageCollection" in p[1]]
    for x in out["rounds"]:
        x["agent_stall_ms"] = x.pop("stall_ms")
        x["jcmd_stall_ms"] = x.pop("jcmd_window")["stall_ms"]
        x["baseline_stall_ms"] = x.pop("baseline_window")["stall_ms"]
    r = out["rounds"]
    out["agent"] = summary([x["agent_s"] for x in r])
    out["jcmd"] = summary([x["jcmd_s"] for x in r])
    out["baseline"] = summary([x["baseline_s"] for x in r])
    out["walked"] = summary([x["walked_s"] for x in r])
    out["instances"] = r[-1]["instances"]
    return out


def object_part(client, handle, type_name, fields, runs):
    times = []
    for _ in range(runs):
        t, reply = client.request("object", handle)
        rec = reply.of_kind("object")[0]
        slots = slot_map(reply)
        check(rec[1] == handle and rec[2] == type_name, "object %s came back as %s %s" % (handle, rec[1], rec[2]))
        check(all(f in slots for f in fields), "object %s lacks fields: %s" % (handle, sorted(slots)))
        times.append(t)
    hello = [client.request("hello")[0] for _ in range(runs)]
    return {"handle": handle, "type": type_name, "agent": summary(times), "hello": summary(hello),
            "slots": len(slots)}


def referrers_part(jvm, stalls, client, target, rounds):
    runs = []
    for _ in range(rounds):
        x = {}
        t, reply = _watched(jvm, stalls, x, lambda: client.request("referrers", target["handle"]))
        refs = reply.of_kind("referrer")
        check(reply.number("total") == len(target["referrers"]) and
              sorted((r[2], r[5]) for r in refs) == sorted(target["referrers"]),
              "referrers of %s: %s, not %s" % (target["name"], [(r[2], r[5]) for r in refs], target["referrers"]))
        x.update({"s": t, "walk_ms": reply.number("walk_ms"), "walks": reply.number("walks"),
                  "total": reply.number("total")})
        runs.append(x)
    stalls.resolve()
    return runs


WALK_LINE = re.compile(r'vorlanagt: a walk of "path" stopped the program for (\d+) ms')


def path_part(jvm, stalls, client, target, rounds):
    runs = []
    for _ in range(rounds):
        x = {}
        seen = len(jvm.stderr_text(tail=10**8))
        t, reply = _watched(jvm, stalls, x, lambda: client.request("path", target["handle"]))
        # The agent reports each walk of 100 ms or more at debug=0.
        x["walks_reported_ms"] = [int(m) for m in WALK_LINE.findall(jvm.stderr_text(tail=10**8)[seen:])]
        steps = reply.of_kind("step")
        check(reply.figures.get("found") == "strong", "path %s: found=%s" % (target["name"], reply.figures.get("found")))
        check(reply.number("length") == len(target["types"]) == len(steps),
              "path %s: length %s, %d steps, expected %d" % (target["name"], reply.figures["length"], len(steps),
                                                           len(target["types"])))
        check([s[5] for s in steps] == target["types"], "path %s went %s" % (target["name"], [s[5] for s in steps]))
        check(steps[-1][4] == target["handle"], "path %s ends at %s" % (target["name"], steps[-1][4]))
        check(len(reply.of_kind("root")) == 1, "path %s names no root" % target["name"])
        x.update({"s": t, "walk_ms": reply.number("walk_ms"), "walks": reply.number("walks"),
                  "length": reply.number("length"), "root": reply.of_kind("root")[0][1]})
        runs.append(x)
    stalls.resolve()
    return runs


def baseline_target_part(jvm, stalls, base, target, rounds, roots_tagged=False):
    fields, sig = base.select_target("LSessionStore;", target["route"])
    check(fields.get("found") == 1, "baseline did not reach %s" % target["name"])
    runs = []
    for _ in range(rounds):
        x = {}
        t, f = _watched(jvm, stalls, x, lambda: base.walk_to_target())
        check(f["count"] == len(target["referrers"]), "baseline met %d references to %s, not %d"
              % (f["count"], target["name"], len(target["referrers"])))
        x.update({"s": t, "walk_ms": f["walk_ns"] / 1e6, "calls": f["calls"]})
        runs.append(x)
    stalls.resolve()
    out = {"signature": sig, "size": fields["size"], "runs": runs}
    if roots_tagged:
        x = {}
        t, f = _stalled(stalls, x, lambda: base.walk_to_target_roots_tagged())
        check(f["count"] == len(target["referrers"]), "baseline (roots tagged) met %d references to %s"
              % (f["count"], target["name"]))
        x.update({"s": t, "first_ms": f["first_ns"] / 1e6, "walk_ms": f["walk_ns"] / 1e6, "calls": f["calls"],
                  "roots_tagged": f["roots_tagged"]})
        stalls.resolve()
        out["roots_tagged"] = x
    return out


def instances_part(jvm, stalls, client, base, class_name, signature, expected, rounds):
    out = {"class": class_name, "expected": expected}
    for label, opts in (("gc", ()), ("no_gc", ("gc=0",))):
        runs = []
        for _ in range(rounds):
            x = {}
            t, reply = _watched(jvm, stalls, x, lambda: client.request("instances", class_name, *opts))
            listed = reply.of_kind("instance")
            check(reply.number("total") == expected,
                  "instances %s: total %s, not %d" % (class_name, reply.figures["total"], expected))
            check(len(listed) == min(100, expected) and all(r[2] == class_name for r in listed),
                  "instances %s listed %d of its type" % (class_name, len(listed)))
            check(len({r[1] for r in listed}) == len(listed), "instances %s listed a handle twice" % class_name)
            x.update({"s": t, "gc_ms": reply.number("gc_ms"), "walk_ms": reply.number("walk_ms")})
            runs.append(x)
        out[label] = runs
    base_runs = []
    for _ in range(rounds):
        x = {}
        t, f = _stalled(stalls, x, lambda: base.count_instances(signature))
        check(f["count"] == expected, "baseline counted %d %s, not %d" % (f["count"], class_name, expected))
        x.update({"s": t, "gc_ms": f["gc_ns"] / 1e6, "walk_ms": f["walk_ns"] / 1e6, "classes_ms": f["classes_ns"] / 1e6})
        base_runs.append(x)
    out["baseline"] = base_runs
    stalls.resolve()
    return out


def first_walk_memory(paths, objects, heap_mb):
    """In a fresh JVM, which of the VM's own first walk and the agent's first referrers
    leaves memory behind: the baseline's walk first, then the agent's, twice each."""
    out = []
    with LiveHeapJvm(paths, [objects], heap_mb, agent_options="kind=1,debug=0") as jvm:
        client = FramedClient(jvm.agent_port)
        base = HeapBaseline(jvm.baseline_port)
        stalls = StallLog(jvm)
        _, reply = client.request("instances", "SessionStore", "gc=0")
        store = reply.of_kind("instance")[0][1]
        fields, _ = base.select_target("LSessionStore;", [])
        check(fields.get("found") == 1, "baseline did not find the store")
        time.sleep(1)
        for who in ("baseline", "agent", "baseline", "agent"):
            x = {"who": who}
            if who == "agent":
                _, r = _watched(jvm, stalls, x, lambda: client.request("referrers", store))
                check(r.number("total") == 0 and r.of_kind("root"), "referrers of the store: %s" % r.records)
            else:
                _, f = _watched(jvm, stalls, x, lambda: base.walk_to_target())
                check(f["roots"] >= 1, "baseline walk met no root of the store")
            out.append(x)
        stalls.resolve()
        client.close()
        base.close()
    return out


def heap_requests_scenario(paths, objects, heap_mb, rounds, object_runs, deep_rounds):
    java = paths["java"]
    result = {"objects_nominal": objects, "heap_mb": heap_mb, "jdk": java_major(java)}
    with LiveHeapJvm(paths, [objects], heap_mb, agent_options="kind=1,debug=0") as jvm:
        built = jvm.built
        result["built"] = built
        result["rss_start_kb"] = jvm.rss_kb()
        client = FramedClient(jvm.agent_port)
        base = HeapBaseline(jvm.baseline_port)
        client.request("hello")
        stalls = StallLog(jvm)
        idle = {}
        time.sleep(1)
        _stalled(stalls, idle, lambda: time.sleep(2))
        stalls.resolve()
        result["idle_stall_ms"] = idle["stall_ms"]

        print("  histo", flush=True)
        result["histo"] = histo_part(jvm, stalls, client, base, java, rounds)
        live = result["histo"]["instances"]
        result["live_objects"] = live

        print("  targets", flush=True)
        _, reply = client.request("instances", "SessionStore", "gc=0")
        store = reply.of_kind("instance")[0][1]
        nav = Navigator(client)
        key = "s%d" % (built["sessions"] // 2)
        sess, route, types = nav.session(store, key)
        name_bytes, nroute, ntypes = nav.follow(sess, route, types,
                                                [("user", "User"), ("name", "java.lang.String"), ("value", "[B")])
        deep, droute, dtypes = nav.session(store, "s-deep")
        event, eroute, etypes = nav.follow(deep, droute, dtypes, [("last", "Event")] +
                                           [("previous", "Event")] * (built["deep"] - 1))
        targets = [
            {"name": "session", "handle": sess, "route": route, "types": types,
             "referrers": [("value", "java.util.HashMap$Node")]},
            {"name": "user name bytes", "handle": name_bytes, "route": nroute, "types": ntypes,
             "referrers": [("value", "java.lang.String")]},
            {"name": "oldest event of s-deep", "handle": event, "route": eroute, "types": etypes,
             "referrers": [("previous", "Event")]},
        ]
        result["targets"] = [{k: t[k] for k in ("name", "handle", "route", "types")} for t in targets]

        print("  object", flush=True)
        result["object"] = object_part(client, sess, "Session", ["id", "user", "token", "cart", "last", "created", "hits"],
                                       object_runs)

        print("  referrers", flush=True)
        result["referrers"] = []
        for t in targets[:2]:
            result["referrers"].append({"target": t["name"], "agent": referrers_part(jvm, stalls, client, t, rounds),
                                        "baseline": baseline_target_part(jvm, stalls, base, t, rounds)})

        print("  path", flush=True)
        result["path"] = []
        for i, t in enumerate(targets):
            result["path"].append({"target": t["name"],
                                   "agent": path_part(jvm, stalls, client, t, rounds if i < 2 else deep_rounds),
                                   "baseline_to_target": baseline_target_part(jvm, stalls, base, t, 1,
                                                                              roots_tagged=True)})
        every = []
        for _ in range(rounds):
            x = {}
            t, f = _watched(jvm, stalls, x, lambda: base.walk_everything())
            check(f["count"] > live, "baseline walk met %d references, fewer than %d objects" % (f["count"], live))
            x.update({"s": t, "walk_ms": f["walk_ns"] / 1e6, "references": f["count"]})
            every.append(x)
        stalls.resolve()
        result["baseline_walk_everything"] = every

        print("  instances", flush=True)
        result["instances"] = instances_part(jvm, stalls, client, base, "Sample", "LSample;", built["samples"], rounds)
        result["rss_end_kb"] = jvm.rss_kb()
        result["agent_stderr_tail"] = jvm.stderr_text(3000)
        client.close()
        base.close()
    print("  first walks' memory", flush=True)
    result["first_walk_memory"] = first_walk_memory(paths, objects, heap_mb)
    return result
