"""What one huge expansion leaves behind, as an operator meets it: a 20M-object heap, the
classic client's "p" and "e" before the expansion of an Object[10^7], after it, and
after the next "p" (which forgets the handles listed before it), with the program's GC
pauses and longest stalls and the JVM's memory at each stage; then the baseline's walk
of the same array."""

import random
import re
import statistics
import time

from .clients import AgentClient, BaselineClient, listing_lines
from .framed import FramedClient
from .live_heap import LiveHeapJvm, StallLog, gc_pauses, gc_phases, java_major
from .scenarios import check, summary

FORGOT = re.compile(r"forgot (\d+) handles listed before this \"p\"; (\d+) kept, (\d+) of them dead; the sweep took (\d+) ms")
PAUSE_LINE = re.compile(r"vorlanagt: (.*) stopped the program for (\d+) ms")


def memory(jvm, settle=1.0):
    time.sleep(settle)
    return {"rss_kb": jvm.rss_kb(), "anon_kb": jvm.status_kb("RssAnon")}


def check_roots(body, store, big):
    handles = {h for h, _ in listing_lines(body)}
    check(store in handles and big in handles, "the root listing lacks the store or the array")


def check_small(body, store_signature_lines):
    lines = listing_lines(body)
    check(sorted(sig for _, sig in lines) == store_signature_lines,
          "\"e\" of the store listed %s" % [sig for _, sig in lines])


def check_big(body, n, distinct=False):
    """n + 1 lines: the array's class, then n distinct objects."""
    data = bytes(body)
    check(data.count(b"\n") == n + 1, "\"e\" of the array listed %d lines, not %d" % (data.count(b"\n"), n + 1))
    first = data[:data.index(b"\n")]
    check(first.endswith(b" [Ljava/lang/Object; "), "the array's first line is %r" % first)
    check(data.count(b" Ljava/lang/Object; \n") == n, "not every element line is a java/lang/Object")
    if distinct:
        handles = re.findall(rb"^([0-9a-f]+) Ljava/lang/Object; $", data, re.M)
        check(len(handles) == n and len(set(handles)) == n, "the elements' handles are not %d distinct ones" % n)


def timed_requests(stalls, fn, count):
    runs = []
    for _ in range(count):
        x = {}
        with stalls.window(x):
            x["s"] = fn()
        runs.append(x)
    return runs


def gc_pause_stage(jvm, stalls, full=3, young=3):
    """The program's own collections: System.gc() and a few young collections, each
    with its pause from the GC log and the longest stall the program saw."""
    out = {"full": [], "young": []}
    for _ in range(full):
        before = len(jvm.gc_log_lines())
        x = {}
        with stalls.window(x):
            x["wall_ms"] = float(jvm.command("gc")[0])
        lines = jvm.gc_log_lines()[before:]
        pauses = [p for p in gc_pauses(lines) if "System.gc()" in p[1]]
        check(len(pauses) == 1, "System.gc() logged %d pauses" % len(pauses))
        x["pause_ms"] = pauses[0][2]
        x["phases"] = gc_phases(lines).get(pauses[0][0], {})
        out["full"].append(x)
    before = len(jvm.gc_log_lines())
    x = {}
    with stalls.window(x):
        answer = jvm.command("young %d" % young)
    lines = jvm.gc_log_lines()[before:]
    pauses = [p for p in gc_pauses(lines) if p[1].startswith("Pause Young")]
    check(int(answer[0]) >= young and len(pauses) >= young, "asked %d young collections, the log has %d" % (young, len(pauses)))
    out["young"] = [p[2] for p in pauses]
    phases = gc_phases(lines)
    out["young_phases"] = [phases.get(p[0], {}) for p in pauses]
    out["young_stall"] = x
    stalls.resolve()
    return out


def stage(jvm, stalls, agent, store, small_lines, reps, prepare=True):
    """"e" of the small object (4 reps times: it takes well under a millisecond) and "p"
    (reps times), the program's GC pauses, memory."""
    out = {}
    small = []
    for _ in range(4 * reps):
        x = {}
        with stalls.window(x):
            t, body = agent.expand(store)
        check_small(body, small_lines)
        x["s"] = t
        small.append(x)
    out["e_small"] = small
    if prepare:
        runs = []
        for _ in range(reps):
            x = {}
            with stalls.window(x):
                t, body = agent.prepare()
            x["s"] = t
            x["roots"] = len(listing_lines(body))
            runs.append(x)
        out["p"] = runs
    stalls.resolve()
    out["gc"] = gc_pause_stage(jvm, stalls)
    out["memory"] = memory(jvm)
    return out


def agent_progress(jvm, seen):
    """The agent's progress lines since the previous call: sweeps and long pauses."""
    text = jvm.stderr_text(tail=10**7)
    new = text[seen:]
    return len(text), {"sweeps": [dict(zip(("forgotten", "kept", "dead", "ms"), map(int, m.groups())))
                                  for m in FORGOT.finditer(new)],
                       "pauses": [(m.group(1), int(m.group(2))) for m in PAUSE_LINE.finditer(new)]}


def gc_drift_scenario(paths, objects, array_n, heap_mb, stages=4):
    """The control for the GC rows: the same heap with the agent loaded and never asked,
    through as many rounds of forced full and young collections as the lasting-cost
    stages make, to show how G1's own pauses drift from one round to the next."""
    with LiveHeapJvm(paths, [objects, "array=%d" % array_n], heap_mb, agent_options="kind=0,debug=0") as jvm:
        stalls = StallLog(jvm)
        rounds = []
        for _ in range(stages):
            r = gc_pause_stage(jvm, stalls)
            rounds.append({"full": [x["pause_ms"] for x in r["full"]], "young": r["young"]})
        return {"jdk": java_major(paths["java"]), "rounds": rounds}


def lasting_cost_scenario(paths, objects, array_n, heap_mb, reps):
    result = {"jdk": java_major(paths["java"]), "objects_nominal": objects + array_n, "array": array_n,
              "heap_mb": heap_mb}
    with LiveHeapJvm(paths, [objects, "array=%d" % array_n], heap_mb, agent_options="kind=0,debug=0") as jvm:
        result["built"] = jvm.built
        stalls = StallLog(jvm)
        agent = AgentClient(jvm.agent_port)
        framed = FramedClient(jvm.agent_port)
        t, body = agent.prepare()
        roots = listing_lines(body)
        store = next(h for h, sig in roots if sig == "LSessionStore;")
        big = None
        for h, sig in roots:
            if sig == "[Ljava/lang/Object;":
                _, r = framed.request("object", h, "limit=0")
                if int(r.of_kind("object")[0][4] or 0) == array_n:
                    big = h
        check(big is not None, "no root is the Object[%d]" % array_n)
        framed.close()
        check_roots(body, store, big)
        # The store: its class and its four fields.
        small_lines = sorted(["LSessionStore;", "Ljava/lang/String;", "Ljava/util/HashMap;", "[[LSample;", "[[B"])
        idle = {}
        with stalls.window(idle):
            time.sleep(2)
        stalls.resolve()
        result["idle_stall_ms"] = idle["stall_ms"]
        seen, _ = agent_progress(jvm, 0)

        print("  before", flush=True)
        result["before"] = stage(jvm, stalls, agent, store, small_lines, reps)
        seen, result["before"]["progress"] = agent_progress(jvm, seen)

        print("  the expansion", flush=True)
        first = {}
        with stalls.window(first):
            t, body = agent.expand(big)
        first["s"] = t
        first["reply_bytes"] = len(body)
        check_big(body, array_n, distinct=True)
        pad = len(body)
        del body
        second = {}
        with stalls.window(second):
            t, body = agent.expand(big)
        second["s"] = t
        check_big(body, array_n)
        del body
        stalls.resolve()
        result["expansion"] = {"first": first, "again": second, "memory": memory(jvm)}
        seen, result["expansion"]["progress"] = agent_progress(jvm, seen)

        print("  after the expansion", flush=True)
        result["expanded"] = stage(jvm, stalls, agent, store, small_lines, reps, prepare=False)
        seen, result["expanded"]["progress"] = agent_progress(jvm, seen)

        print("  the next p", flush=True)
        x = {}
        with stalls.window(x):
            started = time.time()
            t, body = agent.prepare()
            # The sweep runs once the reply is sent: its line says when it is done, and the
            # stages after this one measure the program from then on.
            deadline = started + 600
            while not FORGOT.search(jvm.stderr_text(tail=10**7)[seen:]) and time.time() < deadline:
                time.sleep(0.02)
            x["sweep_done_s"] = time.time() - started
        x["s"] = t
        check_roots(body, store, big)
        stalls.resolve()
        result["next_p"] = x
        result["next_p"]["memory"] = memory(jvm)
        seen, result["next_p"]["progress"] = agent_progress(jvm, seen)

        print("  after the next p", flush=True)
        result["after"] = stage(jvm, stalls, agent, store, small_lines, reps)
        seen, result["after"]["progress"] = agent_progress(jvm, seen)
        agent.close()

        print("  baseline", flush=True)
        base = BaselineClient(jvm.baseline_port)
        check(base.select("[Ljava/lang/Object;"), "baseline found no Object[] root")
        walks = []
        for i in range(3):
            x = {}
            with stalls.window(x):
                t, fields = base.walk(pad, tag_each=(i == 0))
            check(fields["count"] == array_n + 1, "baseline walk met %d references, not %d" % (fields["count"], array_n + 1))
            x.update({"s": t, "walk_ms": fields["walk_ns"] / 1e6, "tagging": i == 0})
            walks.append(x)
        stalls.resolve()
        result["baseline"] = {"walks": walks, "memory": memory(jvm)}
        # The baseline takes its tags off one by one in a heap walk: what the VM keeps of
        # ten million tags once they are gone, and the collections afterwards.
        x = {}
        with stalls.window(x):
            t, fields = base._command("u")
        check(fields["count"] >= array_n, "baseline untagged %d objects, fewer than %d" % (fields["count"], array_n))
        x.update({"s": t, "walk_ms": fields["walk_ns"] / 1e6, "count": fields["count"]})
        stalls.resolve()
        result["baseline"]["untag"] = x
        result["baseline"]["untagged"] = {"memory": memory(jvm), "gc": gc_pause_stage(jvm, stalls)}
        base.close()
    return result


# The soak: the e2e churn program against a mix of requests like agent_soak_test.cpp's.

class _SoakConnection(AgentClient):
    def send_raw(self, data):
        self.sock.sendall(data)

    def read_partial(self, limit):
        try:
            self.sock.settimeout(5)
            return self.sock.recv(limit)
        finally:
            self.sock.settimeout(600)


def _random_text(rng, max_len):
    return bytes(rng.randrange(256) for _ in range(1 + rng.randrange(max_len)))


def _reads_as(msg, command):
    return msg.split(b"\0", 1)[0] == command


class Soak:
    """The soak test's mix (tests/e2e/agent_soak_test.cpp): roots, expansions of handles
    seen, class handles of earlier tables, random and malformed handles, unknown
    messages, and connections dropped before, during and after a reply."""

    def __init__(self, port, seed):
        self.port, self.rng = port, random.Random(seed)
        self.conn = _SoakConnection(port)
        self.recent, self.classes, self.objects = [], [], set()
        self.signatures = {}
        self.replies = self.dropped = 0

    def take(self, body):
        for handle, sig in listing_lines(body):
            check(sig and (sig[0] in "L[" or sig in ("Z", "B", "C", "S", "I", "J", "F", "D")),
                  "implausible signature %r" % sig)
            if int(handle, 16) >= 0x40000000:
                self.classes.append(handle)
            else:
                self.objects.add(handle)
                self.signatures[handle] = sig
                self.recent.append(handle)
        if len(self.recent) > 4096:
            del self.recent[:2048]
        self.replies += 1

    def some_handle(self):
        return self.rng.choice(self.recent) if self.recent else "1"

    def request(self, msg):
        self.conn.sock.sendall(msg)
        return self.conn.read_reply()

    def reconnect(self):
        self.conn.close()
        self.conn = _SoakConnection(self.port)

    def step(self):
        op = self.rng.randrange(100)
        if op < 5:
            self.take(self.conn.prepare()[1])
        elif op < 10:
            self.take(self.request(b"x"))
        elif op < 45:
            self.take(self.conn.expand(self.some_handle())[1])
        elif op < 50:
            self.take(self.conn.expand(self.rng.choice(self.classes) if self.classes else "40000000")[1])
        elif op < 58:
            self.take(self.conn.expand("%x" % self.rng.randrange(2**32))[1])
        elif op < 63:
            text = _random_text(self.rng, 31)
            if _reads_as(text, b"q") or _reads_as(text, b"p"):
                text = b"zz"
            self.conn.sock.sendall(b"e")
            self.take(self.request(text))
        elif op < 73:
            self.take(self.request(b"e" + self.some_handle().encode()))
        elif op < 78:
            msg = _random_text(self.rng, 32)
            merged_quit = len(msg) > 1 and msg[:1] == b"e" and _reads_as(msg[1:], b"q")
            if _reads_as(msg, b"q") or _reads_as(msg, b"p") or msg == b"e" or merged_quit:
                msg = b"unknown"
            self.take(self.request(msg))
        elif op < 84:
            self.conn.send_raw(b"p" if self.rng.randrange(2) else b"e" + self.some_handle().encode())
            self.reconnect()
            self.dropped += 1
        elif op < 90:
            self.conn.send_raw(b"x")
            self.conn.read_partial(30)
            self.reconnect()
            self.dropped += 1
        elif op < 95:
            self.conn.close()
            _SoakConnection(self.port).close()
            self.conn = _SoakConnection(self.port)
            self.dropped += 1
        else:
            self.take(self.conn.expand(self.some_handle())[1])
            self.take(self.conn.expand(self.some_handle())[1])


class ChurnJvm(LiveHeapJvm):
    """tests/e2e/java/ChurnTarget.java as the soak test runs it: a 256 MB heap that cannot
    grow, the agent at kind=0,debug=0."""

    def __init__(self, paths, e2e_dir):
        import subprocess
        import tempfile
        import threading
        from .heap_jvm import free_port

        self.paths = paths
        self.agent_port = free_port()
        self.baseline_port = None
        self.err = tempfile.NamedTemporaryFile(prefix="vorlan-churn-", suffix=".err")
        self.gc_log = tempfile.NamedTemporaryFile(prefix="vorlan-churn-", suffix=".gc")
        self.built, self._offset = {}, None
        self.argv = [paths["java"], "-Xms256m", "-Xmx256m", "-XX:+AlwaysPreTouch",
                     "-Djava.library.path=%s/native" % e2e_dir,
                     "-agentpath:%s=port=%d,kind=0,debug=0" % (paths["agent"], self.agent_port),
                     "-cp", "%s/classes" % e2e_dir, "ChurnTarget"]
        self.proc = subprocess.Popen(self.argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self.err, text=True)
        self.pid = self.proc.pid
        self.ticks = []
        if self.proc.stdout.readline().strip() != "ready":
            raise RuntimeError("ChurnTarget did not start\n" + self.stderr_text())

        def drain():
            for line in self.proc.stdout:
                if line.startswith("tick "):
                    self.ticks.append(int(line.split()[1]))

        threading.Thread(target=drain, daemon=True).start()

    def wait_ready(self, timeout=120):
        from .heap_jvm import port_listening

        deadline = time.monotonic() + timeout
        while not port_listening(self.agent_port):
            if time.monotonic() > deadline or self.proc.poll() is not None:
                raise RuntimeError("nothing listens on %d\n%s" % (self.agent_port, self.stderr_text()))
            time.sleep(0.02)
        return self


def steady_anon_kb(jvm, samples=10, interval=0.2):
    """The median of a few readings of RssAnon: the churning program moves it by itself."""
    values = []
    for _ in range(samples):
        values.append(jvm.status_kb("RssAnon"))
        time.sleep(interval)
    return statistics.median(values)


def live_handles(port, handles, signatures):
    """How many of these handles still name a live object, asked with framed "object";
    and the replies that were neither an object nor not-found, with the signature the
    classic listing gave the handle."""
    client = FramedClient(port)
    live, errors = 0, []
    for h in handles:
        _, reply = client.request("object", h, "limit=0", check=False)
        if reply.ok:
            live += 1
        elif reply.code != "not-found":
            errors.append({"request": "VRL1 object\t%s\tlimit=0" % h, "reply": "error\tobject\t%s\t%s" % (
                reply.code, reply.message), "listed_as": signatures.get(h)})
    client.close()
    return live, errors


def soak_scenario(paths, e2e_dir, requests, seed):
    out = {"requests": requests, "seed": seed}
    # The program alone, for as long as the soak will take: what it grows by itself.
    with ChurnJvm(paths, e2e_dir) as jvm:
        conn = _SoakConnection(jvm.agent_port)
        conn.prepare()
        time.sleep(2)
        start = steady_anon_kb(jvm)
        soak = Soak(jvm.agent_port, seed)
        soak.conn.close()
        soak.conn = conn
        t0 = time.monotonic()
        for _ in range(requests):
            soak.step()
        seconds = time.monotonic() - t0
        check(jvm.proc.poll() is None, "the JVM died during the soak\n" + jvm.stderr_text())
        end = steady_anon_kb(jvm)
        ticks_before = jvm.ticks[-1] if jvm.ticks else 0
        time.sleep(1.2)
        check(jvm.ticks and jvm.ticks[-1] > ticks_before, "the program stopped doing its own work")
        # The next "p" sweeps when enough handles may be forgettable; the agent says how
        # many it kept.
        soak.take(soak.conn.prepare()[1])
        time.sleep(0.5)
        after_p = steady_anon_kb(jvm)
        _, progress = agent_progress(jvm, 0)
        objects = sorted(soak.objects, key=lambda h: int(h, 16))
        live, errors = live_handles(jvm.agent_port, objects, soak.signatures)
        check(0 < live <= len(objects), "%d live handles of %d seen" % (live, len(objects)))
        out["object_errors"] = errors
        out.update({"seconds": seconds, "replies": soak.replies, "dropped": soak.dropped,
                    "handles_seen": len(objects), "live_handles": live, "anon_start_kb": start,
                    "anon_end_kb": end, "anon_after_p_kb": after_p, "sweeps": progress["sweeps"],
                    "pauses": progress["pauses"]})
    with ChurnJvm(paths, e2e_dir) as jvm:
        conn = _SoakConnection(jvm.agent_port)
        conn.prepare()
        time.sleep(2)
        start = steady_anon_kb(jvm)
        time.sleep(seconds)
        out["control"] = {"seconds": seconds, "anon_start_kb": start, "anon_end_kb": steady_anon_kb(jvm)}
        conn.close()
    growth = (out["anon_after_p_kb"] - out["anon_start_kb"]) * 1024
    control = (out["control"]["anon_end_kb"] - out["control"]["anon_start_kb"]) * 1024
    out["growth_bytes"] = growth
    out["growth_at_end_bytes"] = (out["anon_end_kb"] - out["anon_start_kb"]) * 1024
    out["control_growth_bytes"] = control
    out["bytes_per_live_handle"] = (growth - control) / live
    out["bytes_per_live_handle_without_control"] = growth / live
    return out


def soak_test_binary(binary, java, requests):
    """The e2e soak itself (agent_soak_tests), its summary line."""
    import os
    import subprocess

    env = dict(os.environ, VORLAN_SOAK_REQUESTS=str(requests), VORLAN_TEST_JAVA=java)
    run = subprocess.run([binary], capture_output=True, text=True, env=env, timeout=3600)
    line = next((l for l in run.stdout.splitlines() if l.startswith("soak:")), "")
    check(run.returncode == 0 and line, "agent_soak_tests failed:\n" + run.stdout[-3000:] + run.stderr[-2000:])
    m = re.search(r"(\d+) object descriptors; RSS (\d+) -> (\d+) KiB: (-?\d+) bytes per request, (-?\d+) per descriptor", line)
    return {"line": line, "descriptors": int(m.group(1)), "rss_start_kb": int(m.group(2)), "rss_end_kb": int(m.group(3)),
            "bytes_per_request": int(m.group(4)), "bytes_per_descriptor": int(m.group(5))}


def stage_summary(stage_result):
    """Medians of a stage, for the report."""
    out = {"e_small_ms": statistics.median(x["s"] * 1e3 for x in stage_result["e_small"]),
           "gc_full_pause_ms": statistics.median(x["pause_ms"] for x in stage_result["gc"]["full"]),
           "gc_full_stall_ms": max(x["stall_ms"] for x in stage_result["gc"]["full"]),
           "gc_young_pause_ms": statistics.median(stage_result["gc"]["young"])}
    if "p" in stage_result:
        out["p_ms"] = statistics.median(x["s"] * 1e3 for x in stage_result["p"])
    return out


__all__ = ["lasting_cost_scenario", "soak_scenario", "stage_summary", "summary"]
