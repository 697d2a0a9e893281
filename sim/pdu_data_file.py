"""Reads a simulated PDU's data file: the objects it serves, and every line it cannot.

Two formats, told apart by the file name:

- the simulator's own (any name but *.snmprec), one object a line:
      <suffix> <type> <value>          e.g.  2.1 integer 2301
  <suffix> is the dotted part of the OID after the table root, usually <column>.<row>.
  <type> is one of snmpd's pass types (integer, unsigned, gauge, counter, counter64,
  timeticks, string, octet, opaque, objectid, ipaddress) or "float": a decimal number
  sent as an Opaque float (9f 78 04, then the IEEE-754 single, big-endian). octet and
  opaque take hex bytes ("01 ab ff" or "01abff").
- the .snmprec format that snmpsim reads and writes (*.snmprec), one object a line:
      <OID>|<tag>|<value>              e.g.  1.3.6.1.4.1.44782.4.14.1.1.2.1|2|2301
  with the full OID and the value's BER tag as a decimal number: 2 INTEGER, 4 OCTET
  STRING, 6 OBJECT IDENTIFIER, 64 IpAddress, 65 Counter32, 66 Gauge32, 67 TimeTicks,
  68 Opaque, 70 Counter64. A tag ending in "x" takes the value as hex ("4x|00ff41"),
  one ending in "e" as a string with backslash escapes. The file's bytes are the
  value's bytes (latin-1), as snmpsim reads them.

In both, blank lines and lines starting with '#' are ignored and a later line for the
same OID replaces an earlier one. Only objects below the table root can be served
(snmpd passes nothing else to the backend): a .snmprec object elsewhere (sysDescr, ...)
is counted as outside, not as a problem.
"""

import math
import re
import struct

ROOT = (1, 3, 6, 1, 4, 1, 44782, 4, 14, 1, 1)
ROOT_TEXT = "." + ".".join(str(n) for n in ROOT)

MAX_SUBID = 2**32 - 1
# A data file larger than this is not a PDU's table; only its head is read.
MAX_DATA_BYTES = 4 * 1024 * 1024
# No number this format holds has more significant digits (2**64 - 1 has 20); Python
# refuses to convert a string of more than 4300 digits at all.
_MAX_SIGNIFICANT_DIGITS = 20
# A value quoted in a reason is cut to this many characters.
_MAX_QUOTED = 40

_DIGITS = re.compile(r"[0-9]+\Z")
_SIGNED = re.compile(r"[+-]?[0-9]+\Z")
_DECIMAL = re.compile(r"[+-]?([0-9]+(\.[0-9]*)?|\.[0-9]+)([eE][+-]?[0-9]+)?\Z")
_SPECIAL_FLOAT = re.compile(r"[+-]?(nan|inf|infinity)\Z", re.IGNORECASE)
_HEX_TOKEN = re.compile(r"[0-9a-fA-F]{1,2}\Z")
_HEX_RUN = re.compile(r"([0-9a-fA-F]{2})*\Z")
_HEX_PAIR = re.compile(r"[0-9a-fA-F]{2}\Z")

# Opaque-wrapped float: extension tag 0x9f 0x78, length 4.
_OPAQUE_FLOAT_PREFIX = b"\x9f\x78\x04"


class BadValue(ValueError):
    pass


class DataTable:
    """What a data file holds: `objects` maps a full OID (tuple) to (pass type, value)
    as snmpd's pass_persist protocol takes them; `keys` is their sorted list;
    `problems` lists (line number, reason) for every line that cannot be served;
    `outside` the line numbers of objects outside the table."""

    def __init__(self):
        self.objects = {}
        self.keys = []
        self.problems = []
        self.outside = []


def _whole_number(text):
    """Decimal digits with an optional sign -> int, or None when the number has more
    significant digits than any value of this format may have."""
    digits = text.lstrip("+-").lstrip("0")
    if len(digits) > _MAX_SIGNIFICANT_DIGITS:
        return None
    number = int(digits or "0")
    return -number if text.startswith("-") else number


def _quoted(value):
    """repr() of a value for a reason, cut short when long."""
    if len(value) > _MAX_QUOTED:
        return repr(value[:_MAX_QUOTED]) + "..."
    return repr(value)


def parse_oid(text):
    """Dotted OID (leading dot optional) -> tuple of ints, or None if malformed."""
    text = text.strip()
    if text.startswith("."):
        text = text[1:]
    if not text:
        return None
    out = []
    for part in text.split("."):
        if not _DIGITS.match(part):
            return None
        value = _whole_number(part)
        if value is None or value > MAX_SUBID:
            return None
        out.append(value)
    return tuple(out)


def oid_text(oid):
    return "." + ".".join(str(n) for n in oid)


def _unsigned(value, limit):
    if not _DIGITS.match(value):
        raise BadValue("not an unsigned number")
    number = _whole_number(value)
    if number is None or number > limit:
        raise BadValue("out of range")
    return str(number)


def _integer(value):
    if not _SIGNED.match(value):
        raise BadValue("not an integer")
    number = _whole_number(value)
    if number is None or not -(2**31) <= number <= 2**31 - 1:
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
    numbers = [_whole_number(p) if _DIGITS.match(p) else None for p in parts]
    if len(numbers) != 4 or not all(n is not None and n <= 255 for n in numbers):
        raise BadValue("not a dotted IPv4 address")
    return ".".join(str(n) for n in numbers)


def _float(value):
    if not (_DECIMAL.match(value) or _SPECIAL_FLOAT.match(value)):
        raise BadValue("not a decimal number")
    number = float(value)
    if _DECIMAL.match(value) and not math.isfinite(number):  # 1e999 reads as inf
        raise BadValue("out of range for a single-precision float")
    try:
        packed = struct.pack(">f", number)
    except OverflowError:
        raise BadValue("out of range for a single-precision float") from None
    if math.isfinite(number) and math.isinf(struct.unpack(">f", packed)[0]):
        raise BadValue("out of range for a single-precision float")
    return " ".join("%02x" % b for b in _OPAQUE_FLOAT_PREFIX + packed)


def _unsigned_type(pass_type, limit):
    return (pass_type, lambda v: _unsigned(v, limit))


# type in the simulator's format -> (type sent to snmpd, value normaliser)
_TYPES = {
    "integer": ("integer", _integer),
    "unsigned": _unsigned_type("unsigned", 2**32 - 1),
    "gauge": _unsigned_type("gauge", 2**32 - 1),
    "counter": _unsigned_type("counter", 2**32 - 1),
    "counter64": _unsigned_type("counter64", 2**64 - 1),
    "timeticks": _unsigned_type("timeticks", 2**32 - 1),
    "string": ("string", lambda v: v),
    "octet": ("octet", _hex_bytes),
    "opaque": ("opaque", _hex_bytes),
    "objectid": ("objectid", _objectid),
    "ipaddress": ("ipaddress", _ipaddress),
    "float": ("opaque", _float),
}


def _own_line(line):
    """'<suffix> <type> <value>' -> (full OID, (pass type, value)); raises BadValue."""
    fields = line.split(None, 2)
    if len(fields) < 2:
        hint = " (a .snmprec line? name the file *.snmprec)" if "|" in line else ""
        raise BadValue("expected '<column>.<row> <type> <value>'%s" % hint)
    suffix, type_name = fields[0], fields[1].lower()
    value = fields[2] if len(fields) == 3 else ""
    sub = None if suffix.startswith(".") else parse_oid(suffix)
    if sub is None:
        raise BadValue("%s is not an OID suffix like 2.1 (the part after the table root)"
                       % _quoted(suffix))
    if type_name not in _TYPES:
        raise BadValue("unknown type %s (types: %s)" % (_quoted(fields[1]), ", ".join(_TYPES)))
    if value == "" and type_name not in ("string", "octet", "opaque"):
        raise BadValue("%s needs a value" % type_name)
    pass_type, normalise = _TYPES[type_name]
    try:
        return ROOT + sub, (pass_type, normalise(value))
    except BadValue as error:
        raise BadValue("%s value %s: %s" % (type_name, _quoted(value), error)) from None


# .snmprec tag -> type sent to snmpd, for the tags whose value is a number or an OID.
_SNMPREC_TEXT_TAGS = {"2": "integer", "6": "objectid", "64": "ipaddress", "65": "counter",
                      "66": "gauge", "67": "timeticks", "70": "counter64"}
# Tags snmpsim knows that snmpd's pass_persist cannot send.
_SNMPREC_UNSERVABLE = {"5": "NULL", "128": "noSuchObject", "129": "noSuchInstance",
                       "130": "endOfMibView"}
_ESCAPES = {"\\": 92, "'": 39, '"': 34, "a": 7, "b": 8, "f": 12, "n": 10, "r": 13, "t": 9,
            "v": 11}


def _unescape(text):
    """A value with backslash escapes (tag suffix 'e') -> bytes."""
    out = bytearray()
    at = 0
    while at < len(text):
        char = text[at]
        at += 1
        if char != "\\":
            out.append(ord(char) & 0xFF)
        elif text[at:at + 1] == "x" and _HEX_PAIR.match(text[at + 1:at + 3]):
            out.append(int(text[at + 1:at + 3], 16))
            at += 3
        elif text[at:at + 1] in _ESCAPES:
            out.append(_ESCAPES[text[at]])
            at += 1
        else:
            raise BadValue("unknown escape '\\%s'" % text[at:at + 1])
    return bytes(out)


def _octets(data):
    """Bytes as snmpd serves them unchanged: printable ASCII as text, the rest as hex."""
    if data and all(0x20 <= b <= 0x7E for b in data) and data[0] != 0x20 and data[-1] != 0x20:
        return "string", data.decode("ascii")
    return "octet", " ".join("%02x" % b for b in data)


def _snmprec_line(line):
    """'<OID>|<tag>|<value>' -> (full OID, (pass type, value)); raises BadValue."""
    fields = line.split("|", 2)
    if len(fields) != 3:
        raise BadValue("expected '<OID>|<tag>|<value>'")
    oid_field, tag, value = fields
    oid = parse_oid(oid_field)
    if oid is None:
        raise BadValue("%s is not an OID" % _quoted(oid_field))
    tag, _, variation = tag.partition(":")
    if variation:
        raise BadValue("variation module %s: the simulator serves fixed values only"
                       % _quoted(variation))
    encoding = tag[-1:] if tag[-1:] in ("x", "e") else ""
    tag = tag[:len(tag) - len(encoding)]
    if tag in _SNMPREC_UNSERVABLE:
        raise BadValue("tag %s (%s): snmpd's pass_persist cannot serve it"
                       % (tag, _SNMPREC_UNSERVABLE[tag]))
    if tag not in _SNMPREC_TEXT_TAGS and tag not in ("4", "68"):
        raise BadValue("unknown tag %s (tags: 2, 4, 6, 64, 65, 66, 67, 68, 70)" % _quoted(tag))
    if encoding == "x":
        if not _HEX_RUN.match(value):
            raise BadValue("tag %sx: %s is not hex bytes" % (tag, _quoted(value)))
        data = bytes.fromhex(value)
    elif encoding == "e":
        data = _unescape(value)
    else:
        data = value.encode("latin-1")
    if tag == "4":
        return oid, _octets(data)
    if tag == "68":
        return oid, ("opaque", " ".join("%02x" % b for b in data))
    if tag == "64" and encoding == "x":
        if len(data) != 4:
            raise BadValue("tag 64x: an IpAddress is 4 bytes, not %d" % len(data))
        return oid, ("ipaddress", ".".join(str(b) for b in data))
    if encoding:
        raise BadValue("tag %s%s: only strings, Opaque and IpAddress take hex or escapes"
                       % (tag, encoding))
    pass_type, normalise = _TYPES[_SNMPREC_TEXT_TAGS[tag]]
    try:
        return oid, (pass_type, normalise(value))
    except BadValue as error:
        raise BadValue("tag %s value %s: %s" % (tag, _quoted(value), error)) from None


def is_snmprec(path):
    return path.endswith(".snmprec")


def parse_table(text, snmprec=False):
    """The DataTable of a data file's text."""
    table = DataTable()
    # Lines end at "\n" only, as snmpsim reads them: a value may hold "\x85" (a cp1252
    # ellipsis), "\x0c" or "\x1c", which str.splitlines() would also break at.
    for number, raw in enumerate(text.split("\n"), start=1):
        line = raw[:-1] if raw.endswith("\r") else raw
        line = line.strip(" \t")
        if not line or line.startswith("#"):
            continue
        try:
            oid, entry = _snmprec_line(line) if snmprec else _own_line(line)
        except BadValue as error:
            table.problems.append((number, str(error)))
            continue
        if len(oid) <= len(ROOT) or oid[:len(ROOT)] != ROOT:
            table.outside.append(number)
            continue
        table.objects[oid] = entry
    table.keys = sorted(table.objects)
    return table


def read_bytes(path):
    """The head of the file (MAX_DATA_BYTES at most); raises OSError."""
    with open(path, "rb") as handle:
        return handle.read(MAX_DATA_BYTES)


def decode(content, path):
    """A .snmprec file's bytes are its values' bytes; the simulator's format is UTF-8."""
    if is_snmprec(path):
        return content.decode("latin-1")
    return content.decode("utf-8", errors="replace")
