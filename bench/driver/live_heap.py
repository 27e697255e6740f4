"""A heap program that takes commands (bench/java/HeapControl.java), with the agent and
the baseline loaded; its memory sampled while a request runs; jcmd against it."""

import os
import re
import subprocess
import tempfile
import threading
import time

from .clients import BaselineClient
from .heap_jvm import free_port, wait_listening


def live_classes(paths):
    return os.path.join(os.path.dirname(paths["classes"]), "live-classes")


def java_home(java):
    return os.path.dirname(os.path.dirname(os.path.realpath(java)))


def java_major(java):
    text = subprocess.run([java, "-version"], capture_output=True, text=True).stderr
    m = re.search(r'version "(\d+)', text)
    return int(m.group(1)) if m else 0


class LiveHeapJvm:
    """`java SessionHeap ARGS` with a fixed, pre-touched heap (RSS growth is native), the
    agent, the baseline, and a GC log. Commands go to its standard input."""

    def __init__(self, paths, args, heap_mb, agent_options="kind=1", baseline=True, extra_flags=()):
        self.paths = paths
        self.agent_port = free_port()
        self.baseline_port = free_port() if baseline else None
        self.err = tempfile.NamedTemporaryFile(prefix="vorlan-live-", suffix=".err")
        self.gc_log = tempfile.NamedTemporaryFile(prefix="vorlan-live-", suffix=".gc")
        cmd = [paths["java"], "-Xms%dm" % heap_mb, "-Xmx%dm" % heap_mb, "-XX:+AlwaysPreTouch",
               # timenanos: the clock of System.nanoTime, so the log lines up with the stall log.
               # gc+phases: each collection's steps, to tell what a longer pause spends.
               "-Xlog:gc,gc+phases=debug,safepoint:file=%s:tn,tags:filecount=0" % self.gc_log.name,
               "-Djava.library.path=" + paths["native_dir"],
               "-agentpath:%s=port=%d,%s" % (paths["agent"], self.agent_port, agent_options)]
        if self.baseline_port:
            cmd.append("-agentpath:%s=port=%d" % (paths["baseline"], self.baseline_port))
        cmd += list(extra_flags)
        cmd += ["-cp", live_classes(paths), "SessionHeap"] + [str(a) for a in args]
        self.argv = cmd
        self.proc = subprocess.Popen(cmd, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=self.err, text=True)
        self.pid = self.proc.pid
        self.built = {}
        self._offset = None

    def wait_ready(self, timeout=900):
        line = self.proc.stdout.readline()
        if not line.startswith("ready"):
            raise RuntimeError("heap program did not start: %r\n%s" % (line, self.stderr_text()))
        self.built = {k: int(v) for k, v in (w.split("=") for w in line.split()[1:])}
        wait_listening(self.proc, (self.agent_port, self.baseline_port), timeout, self.stderr_text)
        return self

    def command(self, line):
        """One HeapControl command; the words of its answer after the first."""
        self.proc.stdin.write(line + "\n")
        self.proc.stdin.flush()
        answer = self.proc.stdout.readline().split()
        if not answer or answer[0] != line.split()[0]:
            raise RuntimeError("command %r answered %r\n%s" % (line, answer, self.stderr_text()))
        return answer[1:]

    def clock_offset_ns(self):
        """The program's System.nanoTime minus this process's time.monotonic_ns."""
        if self._offset is None:
            best = None
            for _ in range(5):
                before = time.monotonic_ns()
                theirs = int(self.command("clock")[0])
                after = time.monotonic_ns()
                if best is None or after - before < best[0]:
                    best = (after - before, theirs - (before + after) // 2)
            self._offset = best[1]
        return self._offset

    def gaps_since(self, since_ns):
        """[(end, length)] in ns of this process's monotonic clock: the stalls of 2 ms or
        more the program logged that ended after since_ns."""
        offset = self.clock_offset_ns()
        out = []
        for word in self.command("gaps %d" % (since_ns + offset)):
            end, gap = word.split(":")
            out.append((int(end) - offset, int(gap)))
        return out

    def status_kb(self, key):
        with open("/proc/%d/status" % self.pid) as status:
            for row in status:
                if row.startswith(key + ":"):
                    return int(row.split()[1])
        raise RuntimeError("no %s for %d" % (key, self.pid))

    def rss_kb(self):
        return self.status_kb("VmRSS")

    def reset_peak(self):
        with open("/proc/%d/clear_refs" % self.pid, "w") as f:
            f.write("5")

    def gc_log_lines(self):
        with open(self.gc_log.name, errors="replace") as f:
            return f.read().splitlines()

    def stderr_text(self, tail=4000):
        with open(self.err.name, errors="replace") as f:
            return f.read()[-tail:]

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()
        for f in (self.proc.stdin, self.proc.stdout):
            try:
                f.close()
            except OSError:
                pass
        self.err.close()
        self.gc_log.close()

    def __enter__(self):
        return self.wait_ready()

    def __exit__(self, *exc):
        self.stop()


class StallLog:
    """Windows of this process's monotonic clock, each given the longest stall the program
    logged within it once resolve() has read the log (0 when none reached 2 ms)."""

    def __init__(self, jvm):
        self.jvm = jvm
        self.open = []

    def window(self, record, key="stall_ms"):
        log = self

        class _Window:
            def __enter__(self):
                self.start = time.monotonic_ns()
                return self

            def __exit__(self, *exc):
                log.open.append((record, key, self.start, time.monotonic_ns()))

        return _Window()

    def resolve(self):
        """Also gives each window the VM's safepoints within it from the GC log: the
        longest ("safepoint_ms") and their sum ("safepoints_ms")."""
        if not self.open:
            return
        gaps = self.jvm.gaps_since(min(w[2] for w in self.open) - 10**9)
        offset = self.jvm.clock_offset_ns()
        stops = [(end - offset, total) for end, total, _ in safepoints(self.jvm.gc_log_lines())]
        for record, key, start, end in self.open:
            # A gap that overlaps the window: the program was stopped during it.
            hits = [g for e, g in gaps if e - g < end and e > start]
            record[key] = max(hits) / 1e6 if hits else 0.0
            inside = [t for e, t in stops if e - t < end and e > start]
            record["safepoint_ms"] = max(inside) / 1e6 if inside else 0.0
            record["safepoints_ms"] = sum(inside) / 1e6
        self.open = []


class RssWatch:
    """Samples the JVM's anonymous resident memory (RssAnon: not the pages of libjvm's
    code and other mapped files, which first use of a walk pages in) every 10 ms while a
    request runs; before, peak sampled, right after, in KiB. The kernel's peak of the
    whole RSS (VmHWM, reset first) is kept beside it as a bound for requests shorter than
    a sample."""

    def __init__(self, jvm, interval=0.01):
        self.jvm, self.interval = jvm, interval

    def __enter__(self):
        self.jvm.reset_peak()
        self.before_total = self.jvm.rss_kb()
        self.before = self.jvm.status_kb("RssAnon")
        self.samples = []
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()
        return self

    def _run(self):
        while not self._stop.is_set():
            try:
                self.samples.append(self.jvm.status_kb("RssAnon"))
            except (OSError, RuntimeError):
                return
            self._stop.wait(self.interval)

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join()
        self.after = self.jvm.status_kb("RssAnon")
        self.peak = max(self.samples + [self.after])
        self.hwm_growth = self.jvm.status_kb("VmHWM") - self.before_total

    def figures(self):
        return {"before_kb": self.before, "peak_kb": self.peak, "after_kb": self.after,
                "hwm_growth_kb": self.hwm_growth, "samples": len(self.samples)}


class HeapBaseline(BaselineClient):
    """The baseline's walks for the framed requests (baseline_heap_walks.h)."""

    def _text_command(self, line):
        start = time.perf_counter()
        self.sock.sendall(line.encode() + b"\n")
        body = bytes(self.read_reply()).rstrip(b" ").decode()
        elapsed = time.perf_counter() - start
        lines = body.split("\n")
        fields = dict(item.split("=") for item in lines[0].split())
        if "error" in fields:
            raise RuntimeError("baseline %r: error=%s" % (line, fields["error"]))
        return elapsed, {k: int(v) for k, v in fields.items()}, [l for l in lines[1:] if l]

    def histogram(self, pad=0):
        """(seconds, figures, {jcmd-style type name: (instances, bytes)})."""
        t, fields, rows = self._text_command("h %d" % pad)
        classes = {}
        for row in rows:
            sig, n, b = row.rsplit(" ", 2)
            name = type_name_of_signature(sig)
            old = classes.get(name, (0, 0))
            classes[name] = (old[0] + int(n), old[1] + int(b))
        return t, fields, classes

    def select_target(self, root_signature, steps):
        t, fields, rows = self._text_command("t %s %s" % (root_signature, " ".join(steps)))
        return fields, rows[0] if rows else "?"

    def walk_to_target(self, pad=0):
        return self._text_command("r %d" % pad)[:2]

    def walk_to_target_roots_tagged(self, pad=0):
        return self._text_command("x %d" % pad)[:2]

    def walk_everything(self, pad=0):
        return self._text_command("f %d" % pad)[:2]

    def count_instances(self, signature, pad=0):
        return self._text_command("i %s %d" % (signature, pad))[:2]


def type_name_of_signature(sig):
    """A JVM signature as jcmd and the framed requests name the type: java.lang.String,
    [I, [Ljava.lang.String;, a hidden class (signature "Lpkg/Name.SUFFIX;") as
    pkg.Name/SUFFIX."""
    if sig.startswith("L") and sig.endswith(";"):
        name = sig[1:-1]
        if "." in name:
            base, suffix = name.rsplit(".", 1)
            return base.replace("/", ".") + "/" + suffix
        return name.replace("/", ".")
    return sig.replace("/", ".")


def run_jcmd(java, pid, *command):
    """(wall seconds, standard output) of the target JDK's own jcmd."""
    jcmd = os.path.join(java_home(java), "bin", "jcmd")
    start = time.perf_counter()
    run = subprocess.run([jcmd, str(pid)] + list(command), capture_output=True, text=True, timeout=900)
    elapsed = time.perf_counter() - start
    if run.returncode != 0:
        raise RuntimeError("jcmd %s failed: %s" % (" ".join(command), run.stderr[-2000:] + run.stdout[-2000:]))
    return elapsed, run.stdout


_HISTO_ROW = re.compile(r"^\s*\d+:\s+(\d+)\s+(\d+)\s+(\S+)(?:\s+\(.*\))?\s*$")


def parse_class_histogram(text):
    """{type name: (instances, bytes)} and the Total line of jcmd GC.class_histogram."""
    classes, total = {}, None
    for line in text.splitlines():
        m = _HISTO_ROW.match(line)
        if m:
            n, b, name = int(m.group(1)), int(m.group(2)), m.group(3)
            old = classes.get(name, (0, 0))
            classes[name] = (old[0] + n, old[1] + b)
        elif line.startswith("Total"):
            words = line.split()
            total = (int(words[1]), int(words[2]))
    return classes, total


_PAUSE = re.compile(r"GC\((\d+)\) (Pause .*?) \d+[KMG]->\d+[KMG]\(\d+[KMG]\) (\d+(?:\.\d+)?)ms$")


def gc_pauses(lines):
    """[(gc id, kind text, ms)] of the pause lines in a -Xlog:gc log."""
    out = []
    for line in lines:
        m = _PAUSE.search(line)
        if m:
            out.append((int(m.group(1)), m.group(2), float(m.group(3))))
    return out


_PHASE = re.compile(r"^\[\d+ns\]\[gc,phases\s*\] GC\((\d+)\)\s+(.*?):?\s+(\d+(?:\.\d+)?)ms$")


def gc_phases(lines):
    """{gc id: {step: ms}} from the gc+phases lines of the log (the first of each name)."""
    out = {}
    for line in lines:
        m = _PHASE.match(line)
        if m:
            out.setdefault(int(m.group(1)), {}).setdefault(m.group(2).strip(), float(m.group(3)))
    return out


_SAFEPOINT = re.compile(r"^\[(\d+)ns\]\[safepoint\s*\] Safepoint \"([^\"]+)\".*Total: (\d+) ns")


def safepoints(lines):
    """[(end, total ns, operation)] of a -Xlog:safepoint log decorated with timenanos."""
    out = []
    for line in lines:
        m = _SAFEPOINT.match(line)
        if m:
            out.append((int(m.group(1)), int(m.group(3)), m.group(2)))
    return out
