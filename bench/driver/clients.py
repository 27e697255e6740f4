"""Clients of the agent's protocol and of the baseline's, timed from the client side."""

import socket
import time

HEADER_SIZE = 32


class _ReplyReader:
    def __init__(self, port):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=600)
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def _read_exact(self, n):
        buf = bytearray(n)
        view = memoryview(buf)
        got = 0
        while got < n:
            k = self.sock.recv_into(view[got:], n - got)
            if k == 0:
                raise ConnectionError("peer closed after %d of %d bytes" % (got, n))
            got += k
        return buf

    def read_reply(self):
        header = bytes(self._read_exact(HEADER_SIZE))
        length = int(header.split(b"\0", 1)[0] or b"0")
        return self._read_exact(length)

    def close(self):
        self.sock.close()


class AgentClient(_ReplyReader):
    """Sends "p", or "e" and the handle text as a second message, as the viewer does."""

    def prepare(self):
        start = time.perf_counter()
        self.sock.sendall(b"p")
        body = self.read_reply()
        return time.perf_counter() - start, body

    def expand(self, handle):
        start = time.perf_counter()
        self.sock.sendall(b"e")
        self.sock.sendall(handle.encode())
        body = self.read_reply()
        return time.perf_counter() - start, body


def listing_lines(body):
    """(handle, signature) per line of a listing body; raises on a malformed line."""
    lines = []
    for raw in bytes(body).split(b"\n")[:-1]:
        handle, sig, rest = raw.split(b" ")
        if rest != b"" or not handle:
            raise ValueError("bad listing line %r" % raw)
        lines.append((handle.decode(), sig.decode()))
    return lines


class BaselineClient(_ReplyReader):
    """Speaks the baseline's line commands; the reply body starts with key=value timings."""

    def _command(self, line):
        start = time.perf_counter()
        self.sock.sendall(line.encode() + b"\n")
        body = self.read_reply()
        elapsed = time.perf_counter() - start
        first = bytes(body).split(b"\n", 1)[0].decode()
        fields = dict(item.split("=") for item in first.split())
        return elapsed, {k: (v if k == "error" else int(v)) for k, v in fields.items()}

    def prepare(self, pad):
        return self._command("p %d" % pad)

    def select(self, signature):
        return self._command("s " + signature)[1].get("found") == 1

    def walk(self, pad, tag_each=False):
        return self._command("e %d %d" % (1 if tag_each else 0, pad))
