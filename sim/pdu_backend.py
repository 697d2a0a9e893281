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

The data file is in the simulator's own format or, named *.snmprec, in snmpsim's
(pdu_data_file.py reads both). Hex values are always passed on to snmpd
space-separated, because snmpd misreads unspaced hex.

With --log FILE, one line "get OID" or "getnext OID" is appended (and flushed) for
every get/getnext request before it is answered, so a test can count the requests
the agent made while answering an SNMP request.
"""

import argparse
import bisect
import os
import stat
import sys

import pdu_data_file
from pdu_data_file import oid_text, parse_oid


class Table:
    """Reads the data file on every lookup; parses again only when its bytes changed."""

    def __init__(self, path):
        self.path = path
        self._content = None
        self._keys = []
        self._objects = {}

    def _refresh(self):
        try:
            content = pdu_data_file.read_bytes(self.path)
        except OSError:
            content = b""
        if content == self._content:
            return
        self._content = content
        table = pdu_data_file.parse_table(pdu_data_file.decode(content, self.path),
                                          snmprec=pdu_data_file.is_snmprec(self.path))
        for number, reason in table.problems:
            _warn("line %d: %s" % (number, reason))
        self._keys, self._objects = table.keys, table.objects

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
