#!/usr/bin/env python3
"""snmpd pass_persist backend that serves a simulated PDU table from a data file.

Usage: pdu_backend.py DATAFILE [--log FILE]

snmpd starts this program once and talks to it over stdin/stdout:
  "PING"             -> "PONG"
  "get" OID          -> OID, type, value   or "NONE"
  "getnext" OID      -> the least table object strictly greater than OID, or "NONE"
  "set" OID TYPEVAL  -> "not-writable"
The program exits when stdin reaches EOF (snmpd stopped or closed the pipe).

The data file is read again on every request, so a test can replace it between polls
(it should do so atomically: write a temporary file and rename it). A missing file is
an empty table; a line that cannot be parsed is skipped instead of stopping the
backend. The note about a skipped line goes to stderr only when the backend is run by
hand: under snmpd, stderr shares the answer pipe and is sent to /dev/null.

Data file: one object per line, blank lines and lines starting with '#' are ignored:
  <suffix> <type> <value>
<suffix> is the dotted part of the OID after the table root, usually <column>.<row>
(e.g. "2.1"), but any number of sub-identifiers is accepted. <type> is one of the
snmpd pass types (integer, unsigned, gauge, counter, counter64, timeticks, string,
octet, opaque, objectid, ipaddress) or "float": a decimal number sent as an Opaque
float (tag 9f 78, length 4, IEEE-754 single, big-endian). For octet and opaque the
value is hex bytes ("01 ab ff" or "01abff"); they are always passed on to snmpd
space-separated, because snmpd misreads unspaced hex. A later line for the same OID
replaces an earlier one.

With --log FILE, one line "get OID" or "getnext OID" is appended (and flushed) for
every get/getnext request before it is answered, so a test can count the requests
the agent made while answering an SNMP request.
"""

import argparse
import bisect
import math
import os
import re
import stat
import struct
import sys

ROOT = (1, 3, 6, 1, 4, 1, 44782, 4, 14, 1, 1)
ROOT_TEXT = "." + ".".join(str(n) for n in ROOT)

MAX_SUBID = 2**32 - 1
# A data file larger than this is not a table a test would write; only its head is read.
MAX_DATA_BYTES = 4 * 1024 * 1024

_DIGITS = re.compile(r"[0-9]+\Z")
_SIGNED = re.compile(r"[+-]?[0-9]+\Z")
_DECIMAL = re.compile(r"[+-]?([0-9]+(\.[0-9]*)?|\.[0-9]+)([eE][+-]?[0-9]+)?\Z")
_SPECIAL_FLOAT = re.compile(r"[+-]?(nan|inf|infinity)\Z", re.IGNORECASE)
_HEX_TOKEN = re.compile(r"[0-9a-fA-F]{1,2}\Z")
_HEX_RUN = re.compile(r"([0-9a-fA-F]{2})*\Z")

# Opaque-wrapped float: extension tag 0x9f 0x78, length 4.
_OPAQUE_FLOAT_PREFIX = b"\x9f\x78\x04"


class BadValue(ValueError):
    pass


def parse_oid(text):
    """Dotted OID (leading dot optional) -> tuple of ints, or None if malformed."""
    text = text.strip()
    if text.startswith("."):
        text = text[1:]
    if not text:
        return None
    parts = text.split(".")
    out = []
    for part in parts:
        if not _DIGITS.match(part):
            return None
        value = int(part)
        if value > MAX_SUBID:
            return None
        out.append(value)
    return tuple(out)


def oid_text(oid):
    return "." + ".".join(str(n) for n in oid)


def _unsigned(value, limit):
    if not _DIGITS.match(value):
        raise BadValue("not an unsigned number")
    number = int(value)
    if number > limit:
        raise BadValue("out of range")
    return str(number)


def _integer(value):
    if not _SIGNED.match(value):
        raise BadValue("not an integer")
    number = int(value)
    if not -(2**31) <= number <= 2**31 - 1:
        raise BadValue("out of range for a 32-bit integer")
    return str(number)


def _hex_bytes(value):
    tokens = value.split()
    if len(tokens) == 1 and len(tokens[0]) > 2:
        run = tokens[0]
        if not _HEX_RUN.match(run):
            raise BadValue("not hex bytes")
        tokens = [run[i:i + 2] for i in range(0, len(run), 2)]
    for token in tokens:
        if not _HEX_TOKEN.match(token):
            raise BadValue("not hex bytes")
    return " ".join(token.lower().rjust(2, "0") for token in tokens)


def _objectid(value):
    oid = parse_oid(value)
    if oid is None or len(oid) < 2:
        raise BadValue("not an object identifier")
    return oid_text(oid)


def _ipaddress(value):
    parts = value.split(".")
    if len(parts) != 4 or not all(_DIGITS.match(p) and int(p) <= 255 for p in parts):
        raise BadValue("not a dotted IPv4 address")
    return ".".join(str(int(p)) for p in parts)


def _float(value):
    if not (_DECIMAL.match(value) or _SPECIAL_FLOAT.match(value)):
        raise BadValue("not a decimal number")
    number = float(value)
    try:
        packed = struct.pack(">f", number)
    except OverflowError:
        raise BadValue("out of range for a single-precision float") from None
    if math.isfinite(number) and math.isinf(struct.unpack(">f", packed)[0]):
        raise BadValue("out of range for a single-precision float")
    return " ".join("%02x" % b for b in _OPAQUE_FLOAT_PREFIX + packed)


# type in the data file -> (type sent to snmpd, value normaliser)
_TYPES = {
    "integer": ("integer", _integer),
    "unsigned": ("unsigned", lambda v: _unsigned(v, 2**32 - 1)),
    "gauge": ("gauge", lambda v: _unsigned(v, 2**32 - 1)),
    "counter": ("counter", lambda v: _unsigned(v, 2**32 - 1)),
    "counter64": ("counter64", lambda v: _unsigned(v, 2**64 - 1)),
    "timeticks": ("timeticks", lambda v: _unsigned(v, 2**32 - 1)),
    "string": ("string", lambda v: v),
    "octet": ("octet", _hex_bytes),
    "opaque": ("opaque", _hex_bytes),
    "objectid": ("objectid", _objectid),
    "ipaddress": ("ipaddress", _ipaddress),
    "float": ("opaque", _float),
}


def parse_table(text, warn):
    """Returns (sorted list of full OIDs, {oid: (type, value)})."""
    objects = {}
    for number, raw in enumerate(text.splitlines(), start=1):
        line = raw.strip()
        if not line or line.startswith("#"):
            continue
        fields = line.split(None, 2)
        if len(fields) < 2:
            warn("line %d: expected '<suffix> <type> <value>'" % number)
            continue
        suffix = fields[0]
        type_name = fields[1].lower()
        value = fields[2] if len(fields) == 3 else ""
        if suffix.startswith("."):
            warn("line %d: suffix must not start with '.'" % number)
            continue
        sub = parse_oid(suffix)
        if sub is None:
            warn("line %d: bad OID suffix %r" % (number, suffix))
            continue
        if type_name not in _TYPES:
            warn("line %d: unknown type %r" % (number, fields[1]))
            continue
        if value == "" and type_name not in ("string", "octet", "opaque"):
            warn("line %d: missing value" % number)
            continue
        pass_type, normalise = _TYPES[type_name]
        try:
            objects[ROOT + sub] = (pass_type, normalise(value))
        except BadValue as error:
            warn("line %d: %s value %r: %s" % (number, type_name, value, error))
    return sorted(objects), objects


class Table:
    """Reads the data file on every lookup; parses again only when its bytes changed."""

    def __init__(self, path):
        self.path = path
        self._content = None
        self._keys = []
        self._objects = {}

    def _refresh(self):
        try:
            with open(self.path, "rb") as handle:
                content = handle.read(MAX_DATA_BYTES)
        except OSError:
            content = b""
        if content == self._content:
            return
        self._content = content
        text = content.decode("utf-8", errors="replace")
        self._keys, self._objects = parse_table(text, _warn)

    def get(self, oid):
        self._refresh()
        entry = self._objects.get(oid)
        return None if entry is None else (oid, entry)

    def getnext(self, oid):
        self._refresh()
        index = bisect.bisect_right(self._keys, oid)
        if index >= len(self._keys):
            return None
        key = self._keys[index]
        return key, self._objects[key]


def _warn(message):
    try:
        sys.stderr.write("pdu_backend: %s\n" % message)
        sys.stderr.flush()
    except Exception:  # a note must never stop the backend
        pass


def _keep_stderr_out_of_answers():
    """snmpd gives a pass_persist child one pipe for both stdout and stderr, so anything
    written to stderr (a note, a traceback) would be read as part of an answer. In that
    case stderr goes to /dev/null; run by hand, notes still reach the terminal."""
    try:
        out, err = os.fstat(1), os.fstat(2)
        shared = (out.st_dev, out.st_ino) == (err.st_dev, err.st_ino)
        shared = shared and stat.S_ISFIFO(out.st_mode)
    except OSError:
        shared = True  # fd 2 closed: keep later open() calls from landing on it
    if shared:
        null = os.open(os.devnull, os.O_WRONLY)
        os.dup2(null, 2)
        if null != 2:
            os.close(null)


class RequestLog:
    def __init__(self, path):
        self.path = path

    def record(self, command, oid_argument):
        if self.path is None:
            return
        # Opened per request so a test may truncate or remove the file between polls.
        try:
            with open(self.path, "a", encoding="utf-8") as handle:
                handle.write("%s %s\n" % (command, oid_argument))
                handle.flush()
        except OSError as error:
            _warn("cannot append to request log: %s" % error)


def serve(table, log, stdin, stdout):
    def answer(*lines):
        stdout.write("".join(line + "\n" for line in lines))
        stdout.flush()

    def read_line():
        line = stdin.readline()
        if not line:
            raise EOFError
        return line.rstrip("\r\n")

    while True:
        try:
            command = read_line().strip()
        except EOFError:
            return
        if command == "PING":
            answer("PONG")
        elif command in ("get", "getnext"):
            try:
                argument = read_line().strip()
            except EOFError:
                return
            log.record(command, argument)
            oid = parse_oid(argument)
            found = None
            if oid is not None:
                found = table.get(oid) if command == "get" else table.getnext(oid)
            if found is None:
                answer("NONE")
            else:
                key, (pass_type, value) = found
                answer(oid_text(key), pass_type, value)
        elif command == "set":
            try:
                read_line()  # OID
                read_line()  # type and value
            except EOFError:
                return
            answer("not-writable")
        elif command == "":
            continue
        else:
            answer("NONE")


def main(argv):
    _keep_stderr_out_of_answers()
    parser = argparse.ArgumentParser(description="snmpd pass_persist backend for a PDU table")
    parser.add_argument("datafile", help="table data file, read again on every request")
    parser.add_argument("--log", metavar="FILE", help="append one line per get/getnext request")
    args = parser.parse_args(argv)

    stdin = open(sys.stdin.fileno(), "r", encoding="utf-8", errors="replace", closefd=False)
    stdout = open(sys.stdout.fileno(), "w", encoding="utf-8", errors="replace", closefd=False)
    try:
        serve(Table(args.datafile), RequestLog(args.log), stdin, stdout)
    except (BrokenPipeError, KeyboardInterrupt):
        pass
    # Skip interpreter teardown flushes that could raise on a closed pipe.
    os._exit(0)


if __name__ == "__main__":
    main(sys.argv[1:])
