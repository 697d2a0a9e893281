#!/usr/bin/env python3
"""Runs a private snmpd that serves the simulated PDU table on a free loopback UDP port
(or snmpsim's snmpsimd serving a .snmprec capture).

Usage: pdu_agent.py [--data FILE] [--allow-empty] [--request-log FILE] [--no-view-limit]
                    [--port N] [--more-ports N] [--community-file FILE] [--v3-users FILE]
                    [--state-dir DIR]
       pdu_agent.py --snmpsim --data FILE.snmprec [--port N] [--community-file FILE]

The data file is read first (pdu_data_file.py: the simulator's format, or snmpsim's when
it is named *.snmprec): every line that cannot be served is named on stderr with its
number and the reason, and a file with no object to serve is refused (one line, exit 1)
unless --allow-empty asks for an agent with an empty table.

With --snmpsim the same .snmprec file is served by snmpsim's agent (snmpsimd, Debian
package snmpsim) instead of snmpd, from a private data folder as community tundra; it reads
the file itself, once, at start.

Credentials: the v2c community is the first line of --community-file FILE, else the
environment's PDU_COMMUNITY, else tundra; never the command line, where ps shows it (a
--community option is refused with that said). --v3-users FILE
answers the SNMP v3 users of FILE, one a line, "NAME [AUTH-PROTOCOL AUTH-PASSPHRASE
[PRIV-PROTOCOL PRIV-PASSPHRASE]]" as snmpd's createUser takes them (blank and '#' lines
skipped), each at the highest level its passphrases give; without a community given as
well, no v2c request is answered then. The passphrases stay in that file, off the command line.
--state-dir DIR keeps snmpd's persistent state there, so that an agent started again on it
has the same engine ID and one boot more (a PDU that rebooted).

Once the agent answers SNMP requests, exactly one line "127.0.0.1:PORT" is printed to
stdout; with --more-ports N, snmpd serves the same table on N more free loopback ports
and the line lists all of them, the first as without it, separated by commas
("127.0.0.1:PORT,127.0.0.1:PORT2,..."). When stdin is a pipe, the agent then runs until it reaches EOF or a line "stop"
arrives, so a parent that dies takes the agent with it; otherwise (a terminal, /dev/null)
it runs until SIGINT (Ctrl-C), SIGTERM or SIGHUP, which stop it in every case. snmpd is
then stopped (by its PID), the temporary directory removed, and the exit status is 0. On
failure one line is printed to stderr and the exit status is non-zero. snmpd (or snmpsimd)
also gets SIGTERM from the kernel if this process dies without cleaning up.
"""

import argparse
import ctypes
import grp
import os
import pwd
import random
import select
import shutil
import signal
import socket
import stat
import subprocess
import sys
import tempfile
import time

import pdu_data_file
from pdu_data_file import ROOT, ROOT_TEXT

COMMUNITY = b"tundra"
HERE = os.path.dirname(os.path.abspath(__file__))
BACKEND = os.path.join(HERE, "pdu_backend.py")
DEFAULT_DATA = os.path.join(HERE, "pdu-table.txt")

FOLDER_PREFIX = "pdu-agent-"
OWNER_FILE = "owner"

MAX_ATTEMPTS = 5
READY_BOUND_S = 15.0          # all attempts together
ATTEMPT_BOUND_S = 10.0        # one snmpd start
SNMPD_STOP_BOUND_S = 5.0      # after SIGTERM, before SIGKILL


class Failure(Exception):
    """Startup or runtime failure; the message becomes the one stderr line."""


class StopRequested(Exception):
    """SIGTERM, SIGINT or SIGHUP arrived."""


# ---------------------------------------------------------------------------------------
# Minimal BER for an SNMPv2c GET probe and for reading the request-id of the response.

def _ber_length(length):
    if length < 0x80:
        return bytes([length])
    body = length.to_bytes((length.bit_length() + 7) // 8, "big")
    return bytes([0x80 | len(body)]) + body


def _tlv(tag, content):
    return bytes([tag]) + _ber_length(len(content)) + content


def _ber_int(value):
    return _tlv(0x02, value.to_bytes((value.bit_length() + 8) // 8 or 1, "big", signed=True))


def _ber_oid(oid):
    body = bytearray([40 * oid[0] + oid[1]])
    for sub in oid[2:]:
        chunk = [sub & 0x7F]
        sub >>= 7
        while sub:
            chunk.append(0x80 | (sub & 0x7F))
            sub >>= 7
        body.extend(reversed(chunk))
    return _tlv(0x06, bytes(body))


def build_get(request_id, oid, community=COMMUNITY):
    varbind = _tlv(0x30, _ber_oid(oid) + b"\x05\x00")
    pdu = _tlv(0xA0, _ber_int(request_id) + _ber_int(0) + _ber_int(0) + _tlv(0x30, varbind))
    return _tlv(0x30, _ber_int(1) + _tlv(0x04, community) + pdu)


def _read_tlv(data, pos):
    """Returns (tag, content_start, content_end); raises ValueError if it does not fit."""
    if pos + 2 > len(data):
        raise ValueError("truncated")
    tag = data[pos]
    first = data[pos + 1]
    pos += 2
    if first < 0x80:
        length = first
    else:
        count = first & 0x7F
        if count == 0 or count > 4 or pos + count > len(data):
            raise ValueError("bad length")
        length = int.from_bytes(data[pos:pos + count], "big")
        pos += count
    if pos + length > len(data):
        raise ValueError("truncated")
    return tag, pos, pos + length


def response_request_id(data, community=COMMUNITY):
    """Request-id of an SNMPv2c Response PDU for the community, or None."""
    try:
        tag, pos, end = _read_tlv(data, 0)
        if tag != 0x30:
            return None
        tag, start, pos = _read_tlv(data, pos)
        if tag != 0x02 or data[start:pos] != b"\x01":
            return None
        tag, start, pos = _read_tlv(data, pos)
        if tag != 0x04 or data[start:pos] != community:
            return None
        tag, pos, _ = _read_tlv(data, pos)
        if tag != 0xA2:
            return None
        tag, start, pos = _read_tlv(data, pos)
        if tag != 0x02 or pos - start > 4:
            return None
        return int.from_bytes(data[start:pos], "big", signed=True)
    except ValueError:
        return None


# ---------------------------------------------------------------------------------------

def fail(message):
    raise Failure(message)


def check_path(label, path):
    if any(ch.isspace() or ord(ch) < 0x20 for ch in path):
        # snmpd splits the pass_persist command line at whitespace; there is no quoting.
        fail("%s path must not contain whitespace or control characters: %r" % (label, path))
    return path


def pick_free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def pick_free_ports(count):
    """`count` distinct free ports: all bound at once, then released."""
    probes = []
    try:
        for _ in range(count):
            probe = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            probes.append(probe)
            probe.bind(("127.0.0.1", 0))
        return [probe.getsockname()[1] for probe in probes]
    finally:
        for probe in probes:
            probe.close()


def log_summary(path):
    """The most telling line of an snmpd log: the last error, else the last line."""
    try:
        with open(path, "rb") as handle:
            handle.seek(0, os.SEEK_END)
            size = handle.tell()
            handle.seek(max(0, size - 8192))
            lines = handle.read().decode("utf-8", "replace").splitlines()
    except OSError:
        return ""
    lines = [line.strip() for line in lines if line.strip()]
    errors = [line for line in lines if "error" in line.lower() or "warning" in line.lower()]
    return (errors or lines or [""])[-1][:300]


def _parent_death_hook():
    """preexec_fn for snmpd: get SIGTERM from the kernel if this process dies."""
    try:
        prctl = ctypes.CDLL(None, use_errno=True).prctl
    except (OSError, AttributeError):
        return None
    parent = os.getpid()

    def hook():
        prctl(1, int(signal.SIGTERM))  # PR_SET_PDEATHSIG
        if os.getppid() != parent:
            os._exit(1)

    return hook


class Agent:
    def __init__(self, args):
        self.args = args
        # The readiness probe speaks v2c: with v3 users alone, a community of
        # its own that nobody else knows answers it.
        self.probe_community = args.community
        if args.v3_users and not args.community_given:
            self.probe_community = ("probe-%016x" % random.getrandbits(64)).encode()
        self.tmpdir = None
        self.proc = None
        self.port = None
        self.more_ports = []
        self.ready = False
        self.snmpd_log = None

    # -- snmpd lifetime --------------------------------------------------------------

    def server_name(self):
        return "snmpsimd" if self.args.snmpsim else "snmpd"

    def write_config(self, port):
        args = self.args
        command = [self.args.python, BACKEND, args.data]
        if args.request_log:
            command += ["--log", args.request_log]
        view = "" if args.no_view_limit else " " + ROOT_TEXT
        lines = []
        for community in dict.fromkeys(c for c in (args.community, self.probe_community) if c):
            lines.append("rocommunity %s 127.0.0.1%s" % (community.decode(), view))
        for user in args.v3_users:
            lines.append("createUser " + " ".join(user.words))
            lines.append("rouser %s %s%s" % (user.name, user.level, view))
        lines += [
            "pass_persist %s %s" % (ROOT_TEXT, " ".join(command)),
            # One log line per request would bury startup errors in snmpd's log.
            "dontLogTCPWrappersConnects yes",
        ]
        path = os.path.join(self.tmpdir, "snmpd.conf")
        with open(path, "w", encoding="utf-8") as handle:
            handle.write("\n".join(lines) + "\n")
        return path

    def snmpd_command(self, port):
        conf = self.write_config(port)
        persist = self.args.state_dir or os.path.join(self.tmpdir, "persist")
        os.makedirs(persist, exist_ok=True)
        # The addresses to listen on, on the command line: a configuration line
        # holds only so many.
        listen = ",".join("udp:127.0.0.1:%d" % p for p in [port] + self.more_ports)
        # -C reads no persistent file by itself: the state of an earlier run
        # (engine ID, boots) is named as a configuration file of its own.
        saved = os.path.join(persist, "snmpd.conf")
        if self.args.state_dir and os.path.isfile(saved):
            conf += "," + check_path("state file", saved)
        return [self.args.snmpd, "-f", "-Lo", "-C", "-c", conf, "-m", "", "-M",
                "/nonexistent", "-I", "-smux", "--persistentDir=" + persist, listen]

    def snmpsimd_command(self, port, attempt):
        """snmpsimd serves DIR/data/tundra.snmprec to community tundra, with its index in a
        cache folder of each attempt's own: a failed attempt may leave half an index.
        It runs as the user running this agent, as snmpd does; run as root it insists on
        being named a user and group to run as."""
        data = os.path.join(self.tmpdir, "data")
        cache = os.path.join(self.tmpdir, "cache-%d" % attempt)
        if not os.path.isdir(data):
            os.makedirs(data)
            shutil.copyfile(self.args.data, self.snmpsim_copy())
        os.makedirs(cache)
        return [self.args.snmpsimd, "--data-dir=" + data, "--cache-dir=" + cache,
                "--agent-udpv4-endpoint=127.0.0.1:%d" % port, "--logging-method=stderr",
                "--process-user=" + pwd.getpwuid(os.geteuid()).pw_name,
                "--process-group=" + grp.getgrgid(os.getegid()).gr_name]

    def snmpsim_copy(self):
        """snmpsimd serves a file to the community it is named after."""
        return os.path.join(self.tmpdir, "data", self.args.community.decode() + ".snmprec")

    def start_snmpd(self, port, attempt):
        command = (self.snmpsimd_command(port, attempt) if self.args.snmpsim
                   else self.snmpd_command(port))
        self.snmpd_log = os.path.join(self.tmpdir, "agent-%d.log" % attempt)
        env = {k: v for k, v in os.environ.items()
               if k not in ("SNMPCONFPATH", "SNMP_PERSISTENT_DIR", "MIBS", "MIBDIRS")}
        with open(self.snmpd_log, "wb") as log:
            try:
                self.proc = subprocess.Popen(
                    command, stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                    close_fds=True, env=env, cwd=self.tmpdir, preexec_fn=_parent_death_hook())
            except OSError as error:
                fail("cannot run %s: %s" % (command[0], error))
        self.port = port

    def stop_snmpd(self):
        proc, self.proc = self.proc, None
        if proc is None:
            return
        if proc.poll() is None:
            try:
                proc.send_signal(signal.SIGTERM)
                proc.wait(timeout=SNMPD_STOP_BOUND_S)
            except subprocess.TimeoutExpired:
                proc.kill()
            except ProcessLookupError:
                pass
        try:
            proc.wait(timeout=SNMPD_STOP_BOUND_S)
        except subprocess.TimeoutExpired:
            # SIGKILLed and still not reaped: nothing more can be done from here.
            sys.stderr.write("pdu_agent: snmpd pid %d did not exit after SIGKILL\n" % proc.pid)

    def wait_ready(self, deadline):
        """True once snmpd answers a GET on the table; False if it exits or time runs out.

        Only the answer to the latest probe counts: snmpd handles requests in order, so
        then every earlier probe has been handled too, and the request log can be
        cleared without a late probe adding a line afterwards.
        """
        oid = ROOT + (0,)
        request_id = random.randint(1, 2**30)
        wait = 0.2
        with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock:
            sock.connect(("127.0.0.1", self.port))
            while time.monotonic() < deadline:
                if self.proc.poll() is not None:
                    return False
                request_id += 1
                try:
                    sock.send(build_get(request_id, oid, self.probe_community))
                except ConnectionRefusedError:
                    time.sleep(0.05)
                    continue
                answer_by = min(deadline, time.monotonic() + wait)
                wait = min(wait * 2, 1.0)
                while True:
                    left = answer_by - time.monotonic()
                    if left <= 0:
                        break
                    ready, _, _ = select.select([sock], [], [], left)
                    if not ready:
                        break
                    try:
                        data = sock.recv(65535)
                    except ConnectionRefusedError:
                        time.sleep(0.05)
                        break
                    if response_request_id(data, self.probe_community) == request_id:
                        return True
        return False

    def start(self):
        remove_stale_folders()
        self.tmpdir = tempfile.mkdtemp(prefix=FOLDER_PREFIX)
        check_path("temporary directory", self.tmpdir)
        write_owner(self.tmpdir)
        deadline = time.monotonic() + READY_BOUND_S
        attempts = 1 if self.args.port else MAX_ATTEMPTS
        last_problem = ""
        for attempt in range(1, attempts + 1):
            if time.monotonic() >= deadline:
                break
            port = self.args.port or pick_free_port()
            self.more_ports = [p for p in pick_free_ports(self.args.more_ports + 1)
                               if p != port][:self.args.more_ports]
            self.start_snmpd(port, attempt)
            if self.wait_ready(min(deadline, time.monotonic() + ATTEMPT_BOUND_S)):
                self.ready = True
                return
            exited = self.proc.poll()
            self.stop_snmpd()
            detail = log_summary(self.snmpd_log)
            name = self.server_name()
            if exited is not None:
                last_problem = "%s exited with status %d on port %d" % (name, exited, port)
            else:
                last_problem = "%s did not answer on port %d" % (name, port)
            if detail:
                last_problem += " (%s)" % detail
            if "SnmpsimError" in detail:  # the data file: no other port helps
                fail(last_problem.replace(self.snmpsim_copy(), self.args.data))
        fail("agent not ready after %d attempt(s) within %.0f s: %s"
             % (attempt, READY_BOUND_S, last_problem))

    def serve_until_stopped(self):
        """Returns on stdin EOF or a "stop" line when stdin is a pipe, otherwise runs until
        a signal raises StopRequested; raises Failure if snmpd dies."""
        watch_stdin = stdin_is_pipe()
        if not watch_stdin:
            sys.stderr.write("pdu_agent: serving %s at 127.0.0.1:%d; Ctrl-C (or kill %d) "
                             "stops it\n" % (self.args.data, self.port, os.getpid()))
            sys.stderr.flush()
        pending = b""
        while True:
            status = self.proc.poll()
            if status is not None:
                detail = log_summary(self.snmpd_log)
                fail("%s exited unexpectedly with status %d%s"
                     % (self.server_name(), status, " (%s)" % detail if detail else ""))
            if not watch_stdin:
                time.sleep(0.5)
                continue
            try:
                readable, _, _ = select.select([0], [], [], 0.5)
                if not readable:
                    continue
                chunk = os.read(0, 4096)
            except OSError:
                return  # stdin closed or unusable: same as EOF
            if not chunk:
                return
            pending += chunk
            *lines, pending = pending.split(b"\n")
            if any(line.strip() == b"stop" for line in lines):
                return
            pending = pending[-64:]  # a stop line is short; never buffer without bound

    def cleanup(self):
        self.stop_snmpd()
        if self.tmpdir:
            shutil.rmtree(self.tmpdir, ignore_errors=True)
            self.tmpdir = None


# ---------------------------------------------------------------------------------------
# Each agent's temporary folder names its owner (PID and start time), so that the
# folder of an agent that was killed (kill -9: no cleanup) is removed when the next
# agent starts. A folder without an owner file, or whose owner still runs, is left.

def process_start(pid):
    """The start time of process `pid` in clock ticks since boot, or None when there is
    no such process."""
    try:
        with open("/proc/%d/stat" % pid, "rb") as handle:
            stat_line = handle.read()
    except OSError:
        return None
    # The command name, in parentheses, may hold anything: fields count from after it.
    fields = stat_line[stat_line.rfind(b")") + 2:].split()
    return fields[19].decode() if len(fields) > 19 else None


def write_owner(folder):
    temporary = os.path.join(folder, OWNER_FILE + ".new")
    with open(temporary, "w", encoding="ascii") as handle:
        handle.write("%d %s\n" % (os.getpid(), process_start(os.getpid())))
    os.replace(temporary, os.path.join(folder, OWNER_FILE))


def remove_stale_folders():
    """Removes this user's agent folders whose owner no longer runs."""
    parent = tempfile.gettempdir()
    try:
        names = [n for n in os.listdir(parent) if n.startswith(FOLDER_PREFIX)]
    except OSError:
        return
    for name in names:
        folder = os.path.join(parent, name)
        try:
            status = os.lstat(folder)  # a link is not followed, nor removed
            if status.st_uid != os.geteuid() or not stat.S_ISDIR(status.st_mode):
                continue
            with open(os.path.join(folder, OWNER_FILE), encoding="ascii") as handle:
                pid_text, started = handle.read(64).split()
            if process_start(int(pid_text)) == started:
                continue  # its agent still runs
        except (OSError, ValueError):
            continue  # no owner file (yet, or from an older agent): not ours to judge
        shutil.rmtree(folder, ignore_errors=True)


def _on_signal(signum, _frame):
    raise StopRequested()


def stdin_is_pipe():
    """A pipe (or socket) on stdin belongs to a parent whose end means stop; a terminal
    or /dev/null never ends by itself."""
    try:
        mode = os.fstat(0).st_mode
    except OSError:
        return False
    return stat.S_ISFIFO(mode) or stat.S_ISSOCK(mode)


def check_data(path, allow_empty):
    """Names every line of the data file that cannot be served; refuses a file with
    nothing to serve."""
    name = os.path.basename(path)
    try:
        content = pdu_data_file.read_bytes(path)
    except OSError as error:
        fail("cannot read data file %s: %s" % (path, error.strerror or error))
    table = pdu_data_file.parse_table(pdu_data_file.decode(content, path),
                                      snmprec=pdu_data_file.is_snmprec(path))
    for number, reason in table.problems:
        sys.stderr.write("pdu_agent: %s line %d: %s\n" % (name, number, reason))
    if table.outside:
        sys.stderr.write("pdu_agent: %s: %d object(s) outside the PDU table %s not served "
                         "(first on line %d)\n"
                         % (name, len(table.outside), ROOT_TEXT, table.outside[0]))
    if len(content) == pdu_data_file.MAX_DATA_BYTES:
        sys.stderr.write("pdu_agent: %s: only its first %d bytes are read\n"
                         % (name, pdu_data_file.MAX_DATA_BYTES))
    if not table.keys and not allow_empty:
        not_read = len(table.problems)
        fail("refusing %s: no object of the PDU table in it%s. Lines read '2.1 integer 2301', "
             "or OID|TAG|VALUE in a file named *.snmprec; --allow-empty serves an empty table"
             % (path, " (%d line%s not understood, named above)"
                % (not_read, "" if not_read == 1 else "s") if not_read else ""))


class V3User:
    """One line of --v3-users: snmpd's createUser words and the level they give."""

    PROTOCOLS = {"auth": ("MD5", "SHA", "SHA-224", "SHA-256", "SHA-384", "SHA-512"),
                 "priv": ("DES", "AES", "AES-192", "AES-256")}

    def __init__(self, words, where):
        if len(words) not in (1, 3, 5):
            fail("%s: write NAME [AUTH-PROTOCOL AUTH-PASSPHRASE [PRIV-PROTOCOL "
                 "PRIV-PASSPHRASE]]" % where)
        self.name = words[0]
        if not self.name.isprintable() or len(self.name) > 32 or '"' in self.name:
            fail("%s: the user name is not up to 32 printable characters" % where)
        for index, kind in ((1, "auth"), (3, "priv")):
            if len(words) <= index:
                break
            if words[index].upper() not in self.PROTOCOLS[kind]:
                fail("%s: %s protocol %s is not one of %s"
                     % (where, kind, words[index], ", ".join(self.PROTOCOLS[kind])))
            phrase = words[index + 1]
            if len(phrase) < 8 or '"' in phrase or "\\" in phrase:
                fail("%s: the %s passphrase has fewer than 8 characters, or a quote or "
                     "backslash" % (where, kind))
        self.words = words
        self.level = {1: "noauth", 3: "auth", 5: "priv"}[len(words)]


def read_v3_users(path):
    try:
        with open(path, encoding="utf-8") as handle:
            lines = handle.read(1 << 16).splitlines()
    except (OSError, UnicodeDecodeError) as error:
        fail("cannot read --v3-users file %s: %s" % (path, error))
    users = [V3User(line.split(), "%s line %d" % (path, number))
             for number, line in enumerate(lines, 1)
             if line.strip() and not line.lstrip().startswith("#")]
    if not users:
        fail("--v3-users file %s names no user" % path)
    return users


def read_community(args):
    """The v2c community given: --community-file's first line, else PDU_COMMUNITY; None
    when neither gives one."""
    if args.community_file:
        try:
            with open(args.community_file, encoding="utf-8") as handle:
                lines = handle.read(1 << 12).splitlines()
        except (OSError, UnicodeDecodeError) as error:
            fail("cannot read --community-file %s: %s" % (args.community_file, error))
        if not lines:
            fail("--community-file %s is empty" % args.community_file)
        return lines[0]
    return os.environ.get("PDU_COMMUNITY")


def credential_args(args):
    """The community, --v3-users and --state-dir, checked."""
    if args.community is not None:
        fail("the community is not taken on the command line, where ps shows it: give it "
             "as the first line of --community-file FILE or in the environment's PDU_COMMUNITY")
    given = read_community(args)
    args.community_given = given is not None
    community = COMMUNITY.decode() if given is None else given
    if (not community or len(community) > 64 or not community.isprintable()
            or any(ch in community for ch in " \t\"'\\/#")):
        fail("the community needs 1 to 64 printable characters without spaces, quotes, "
             "backslashes, '/' or '#'")
    args.community = community.encode()
    args.v3_users = read_v3_users(args.v3_users) if args.v3_users else []
    if args.v3_users and not args.community_given:
        args.community = b""
    if args.state_dir:
        args.state_dir = check_path("state folder", os.path.abspath(args.state_dir))
    return args


def snmpsim_args(parser, args):
    """--snmpsim: snmpsimd reads (and rejects) the data file itself."""
    if (args.request_log or args.no_view_limit or args.allow_empty or args.v3_users
            or args.state_dir):
        parser.error("--snmpsim takes --data, --port and a community only")
    if not pdu_data_file.is_snmprec(args.data):
        fail("--snmpsim serves a .snmprec file only, not %s" % args.data)
    args.snmpsimd = shutil.which("snmpsimd")
    if not args.snmpsimd:
        fail("snmpsimd not found: install the Debian package snmpsim")
    return args


def parse_args(argv):
    parser = argparse.ArgumentParser(
        description="Run snmpd (or snmpsimd) serving the simulated PDU table.")
    parser.add_argument("--data", default=DEFAULT_DATA,
                        help="table data file (default: pdu-table.txt beside this script)")
    parser.add_argument("--allow-empty", action="store_true",
                        help="serve an empty table from a file with no object in it")
    parser.add_argument("--request-log", metavar="FILE",
                        help="log one line per backend get/getnext; empty when ready")
    parser.add_argument("--no-view-limit", action="store_true",
                        help="let the community see the whole agent, not only the table")
    parser.add_argument("--port", type=int, default=0, help="fixed UDP port (default: a free one)")
    parser.add_argument("--more-ports", type=int, default=0, metavar="N",
                        help="serve the same table on N more free ports (snmpd only)")
    parser.add_argument("--snmpsim", action="store_true",
                        help="serve the .snmprec data file with snmpsimd instead of snmpd")
    parser.add_argument("--community-file", metavar="FILE",
                        help="the v2c community to answer: the first line of FILE (default: "
                             "the environment's PDU_COMMUNITY, else tundra)")
    # Refused with a message of its own: ps shows the command line.
    parser.add_argument("--community", help=argparse.SUPPRESS)
    parser.add_argument("--v3-users", metavar="FILE",
                        help="SNMP v3 users to answer, one a line: NAME [AUTH-PROTOCOL "
                             "AUTH-PASSPHRASE [PRIV-PROTOCOL PRIV-PASSPHRASE]]")
    parser.add_argument("--state-dir", metavar="DIR",
                        help="keep snmpd's persistent state (engine ID, boots) in DIR")
    args = credential_args(parser.parse_args(argv))

    if args.port and not 1 <= args.port <= 65535:
        parser.error("--port must be in 1..65535")
    if not 0 <= args.more_ports <= 10000 or (args.more_ports and args.snmpsim):
        parser.error("--more-ports takes 0 to 10000, and goes with snmpd only")
    args.data = check_path("data file", os.path.abspath(args.data))
    if not os.path.isfile(args.data):
        fail("data file not found: %s" % args.data)
    if args.snmpsim:
        return snmpsim_args(parser, args)
    check_data(args.data, args.allow_empty)
    if args.request_log is not None:
        if not args.request_log:
            fail("--request-log needs a file name")
        args.request_log = check_path("request log", os.path.abspath(args.request_log))
        if os.path.isdir(args.request_log):
            fail("request log is a directory: %s" % args.request_log)
        if not os.path.isdir(os.path.dirname(args.request_log)):
            fail("directory of request log does not exist: %s" % args.request_log)
    check_path("backend", BACKEND)
    if not os.path.isfile(BACKEND):
        fail("backend not found: %s" % BACKEND)
    # snmpd runs the backend with the system interpreter when there is one.
    system_python = "/usr/bin/python3"
    args.python = check_path("python", system_python if os.access(system_python, os.X_OK)
                             else sys.executable)
    args.snmpd = shutil.which("snmpd") or shutil.which("snmpd", path="/usr/sbin:/sbin")
    if not args.snmpd:
        fail("snmpd not found")
    return args


def main(argv):
    stop_signals = (signal.SIGTERM, signal.SIGINT, signal.SIGHUP)
    for signum in stop_signals:
        signal.signal(signum, _on_signal)
    signal.pthread_sigmask(signal.SIG_UNBLOCK, set(stop_signals))
    agent = None
    status = 0
    try:
        args = parse_args(argv)
        agent = Agent(args)
        agent.start()
        if args.request_log:
            # Clear the readiness probe's line so the log holds only the caller's requests.
            with open(args.request_log, "w", encoding="utf-8"):
                pass
        sys.stdout.write(",".join("127.0.0.1:%d" % p for p in [agent.port] + agent.more_ports)
                         + "\n")
        sys.stdout.flush()
        agent.serve_until_stopped()
    except StopRequested:
        status = 0 if agent is not None and agent.ready else 1
        if status:
            sys.stderr.write("pdu_agent: interrupted before the agent was ready\n")
    except Failure as error:
        sys.stderr.write("pdu_agent: %s\n" % error)
        status = 1
    except BrokenPipeError:
        status = 1  # nobody reads our stdout any more
    except OSError as error:
        sys.stderr.write("pdu_agent: %s\n" % error)
        status = 1
    finally:
        # No signal may interrupt the cleanup; snmpd must not outlive this process.
        for signum in stop_signals:
            signal.signal(signum, signal.SIG_IGN)
        if agent is not None:
            agent.cleanup()
    try:
        sys.stderr.flush()
    except OSError:
        pass
    os._exit(status)


if __name__ == "__main__":
    main(sys.argv[1:])
