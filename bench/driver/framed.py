"""A small client of the agent's framed requests (docs/protocol.md), timed from the
client side: "VRL1 name\\targ...\\n" out, a 32-byte length header and a record body back."""

import re
import time

from .clients import _ReplyReader

_ESCAPE = re.compile(r"\\(?:u([0-9a-fA-F]{4})|x([0-9a-fA-F]{2})|(.))", re.S)
_SIMPLE = {"\\": "\\", "t": "\t", "n": "\n", "r": "\r"}


class FramedError(Exception):
    """A reply that is not a framed reply, or whose status is "error"."""


def unescape(field):
    if "\\" not in field:
        return field

    def one(m):
        if m.group(1):
            return chr(int(m.group(1), 16))
        if m.group(2):
            return chr(int(m.group(2), 16))
        return _SIMPLE.get(m.group(3), m.group(3))

    # \\uXXXX gives UTF-16 units: pairs are joined back into one character.
    return _ESCAPE.sub(one, field).encode("utf-16", "surrogatepass").decode("utf-16", "replace")


def escape(arg):
    out = []
    for ch in arg:
        if ch == "\\":
            out.append("\\\\")
        elif ch == "\t":
            out.append("\\t")
        elif ch == "\n":
            out.append("\\n")
        elif ch == "\r":
            out.append("\\r")
        elif ord(ch) < 0x20 or ord(ch) == 0x7F:
            out.append("\\x%02x" % ord(ch))
        else:
            out.append(ch)
    return "".join(out)


class Reply:
    """A framed reply: its status record's verb and key=value figures, then its records."""

    def __init__(self, body):
        text = bytes(body).decode("ascii")
        lines = text.split("\n")
        if not lines or lines[-1] != "":
            raise FramedError("reply does not end with a line feed: %r" % text[-80:])
        self.records = [[unescape(f) for f in line.split("\t")] for line in lines[:-1]]
        if not self.records or self.records[0][0] not in ("ok", "error"):
            raise FramedError("not a framed reply: %r" % text[:200])
        status = self.records.pop(0)
        self.ok = status[0] == "ok"
        self.verb = status[1] if len(status) > 1 else "-"
        self.figures = {}
        if self.ok:
            for item in status[2:]:
                key, _, value = item.partition("=")
                self.figures[key] = value
        else:
            self.code = status[2] if len(status) > 2 else "?"
            self.message = status[3] if len(status) > 3 else ""
        self.body_bytes = len(body)

    def number(self, key):
        value = self.figures[key]
        return float(value) if "." in value else int(value)

    def of_kind(self, kind):
        return [r for r in self.records if r[0] == kind]


class FramedClient(_ReplyReader):
    def request(self, name, *args, check=True):
        """(seconds from send to last byte, Reply); raises FramedError on an error status
        unless check is False."""
        line = "VRL1 " + "\t".join([name] + [escape(str(a)) for a in args]) + "\n"
        start = time.perf_counter()
        self.sock.sendall(line.encode("ascii"))
        body = self.read_reply()
        elapsed = time.perf_counter() - start
        reply = Reply(body)
        if check and not reply.ok:
            raise FramedError("%s %s: %s %s" % (name, " ".join(map(str, args)), reply.code, reply.message))
        if reply.verb != name:
            raise FramedError("asked %s, the reply is for %s" % (name, reply.verb))
        return elapsed, reply


def slot_map(reply):
    """The "slot" records of an object reply by NAME (fields: how, name, declared,
    decltype, value, handle, type, size, preview)."""
    slots = {}
    for r in reply.of_kind("slot"):
        fields = (r[1:] + [""] * 9)[:9]
        slots.setdefault(fields[1], dict(zip(("how", "name", "declared", "decltype", "value", "handle", "type",
                                               "size", "preview"), fields)))
    return slots
