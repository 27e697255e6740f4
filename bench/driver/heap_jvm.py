"""A benchmark heap: a JVM running one generator, with the agent and/or the baseline."""

import os
import socket
import subprocess
import tempfile
import time


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def port_listening(port):
    """Reads the kernel's socket table: connecting would use up the agent's one client."""
    want = ":%04X" % port
    with open("/proc/net/tcp") as table:
        for row in table.readlines()[1:]:
            fields = row.split()
            if fields[1].endswith(want) and fields[3] == "0A":
                return True
    return False


def wait_listening(proc, ports, timeout, stderr_text):
    """Waits until every port given (None: skipped) listens; raises when the JVM ends first
    or the time is up."""
    deadline = time.monotonic() + timeout
    for port in ports:
        while port and not port_listening(port):
            if time.monotonic() > deadline or proc.poll() is not None:
                raise RuntimeError("nothing listens on %d\n%s" % (port, stderr_text()))
            time.sleep(0.02)


class HeapJvm:
    """Starts `java <main> <args>` and waits until the heap is built and the ports listen."""

    def __init__(self, paths, main, args=(), agent_kind=None, baseline=False, heap_mb=2048, fixed_heap=False):
        self.paths = paths
        self.agent_port = free_port() if agent_kind is not None else None
        self.baseline_port = free_port() if baseline else None
        self.log = tempfile.NamedTemporaryFile(prefix="vorlan-bench-", suffix=".err")
        cmd = [paths["java"], "-Xmx%dm" % heap_mb, "-Djava.library.path=" + paths["native_dir"]]
        if fixed_heap:
            # The Java heap is committed up front, so RSS growth afterwards is native memory.
            cmd += ["-Xms%dm" % heap_mb, "-XX:+AlwaysPreTouch"]
        if self.agent_port:
            cmd.append("-agentpath:%s=port=%d,kind=%d" % (paths["agent"], self.agent_port, agent_kind))
        if self.baseline_port:
            cmd.append("-agentpath:%s=port=%d" % (paths["baseline"], self.baseline_port))
        cmd += ["-cp", paths["classes"], main] + [str(a) for a in args]
        self.proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=self.log, text=True)

    def wait_ready(self, timeout=300):
        line = self.proc.stdout.readline()
        if line.strip() != "ready":
            raise RuntimeError("heap program did not start: %r\n%s" % (line, self.stderr_text()))
        wait_listening(self.proc, (self.agent_port, self.baseline_port), timeout, self.stderr_text)
        return self

    def rss_kb(self):
        with open("/proc/%d/status" % self.proc.pid) as status:
            for row in status:
                if row.startswith("VmRSS:"):
                    return int(row.split()[1])
        raise RuntimeError("no VmRSS for %d" % self.proc.pid)

    def stderr_text(self):
        with open(self.log.name, errors="replace") as f:
            return f.read()[-4000:]

    def stop(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()
        self.proc.stdout.close()
        self.log.close()

    def __enter__(self):
        return self.wait_ready()

    def __exit__(self, *exc):
        self.stop()
