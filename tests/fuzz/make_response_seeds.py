#!/usr/bin/env python3
"""Writes the walk-response seed corpus: v2c Response messages as a PDU
might send them, one per way a walk step can end.

Usage: make_response_seeds.py OUTPUT_DIR
"""
import os
import struct
import sys

TABLE = [1, 3, 6, 1, 4, 1, 44782, 4, 14, 1, 1]


def tlv(tag, body):
    n = len(body)
    if n < 0x80:
        length = bytes([n])
    else:
        raw = n.to_bytes((n.bit_length() + 7) // 8, "big")
        length = bytes([0x80 | len(raw)]) + raw
    return bytes([tag]) + length + body


def integer(value, tag=0x02):
    size = 1
    while not -(1 << (8 * size - 1)) <= value < (1 << (8 * size - 1)):
        size += 1
    return tlv(tag, value.to_bytes(size, "big", signed=True))


def unsigned(value, tag):
    raw = value.to_bytes((value.bit_length() + 8) // 8, "big")  # leading 0 keeps it positive
    return tlv(tag, raw)


def objid(subids):
    body = bytearray()
    for sub in [40 * subids[0] + subids[1]] + subids[2:]:
        chunk = [sub & 0x7F]
        sub >>= 7
        while sub:
            chunk.append(0x80 | (sub & 0x7F))
            sub >>= 7
        body += bytes(reversed(chunk))
    return tlv(0x06, bytes(body))


def opaque_float(value):
    return tlv(0x44, bytes([0x9F, 0x78, 0x04]) + struct.pack(">f", value))


def opaque_double(value):
    return tlv(0x44, bytes([0x9F, 0x79, 0x08]) + struct.pack(">d", value))


def column(col, row=1):
    return TABLE + [col, row]


def binding(name, value):
    return tlv(0x30, objid(name) + value)


def response(bindings, error_status=0, error_index=0, request_id=0x1234):
    pdu = tlv(0xA2, integer(request_id) + integer(error_status) + integer(error_index) +
              tlv(0x30, b"".join(bindings)))
    return tlv(0x30, integer(1) + tlv(0x04, b"tundra") + pdu)


NULL = tlv(0x05, b"")
END_OF_MIB_VIEW = tlv(0x82, b"")

SEEDS = {
    # Stored values of both kinds, a Gauge32 that is skipped; the walk goes on.
    "continue-integers-and-floats.ber": response([
        binding(column(2), integer(230)),
        binding(column(3), opaque_float(12.5)),
        binding(column(4), unsigned(7, 0x42)),
        binding(column(11), integer(0)),
        binding(column(341), opaque_float(1.0)),
    ]),
    # Types the driver does not store; the walk goes on.
    "continue-other-types.ber": response([
        binding(column(6), tlv(0x04, b"L1")),
        binding(column(7), unsigned(1 << 40, 0x46)),
        binding(column(8), opaque_double(2.5)),
        binding(column(9), unsigned(123456, 0x43)),
        binding(column(10), tlv(0x40, bytes([127, 0, 0, 1]))),
        binding(column(12), unsigned(99, 0x41)),
    ]),
    "end-of-mib-view.ber": response([
        binding(column(30), integer(1)),
        binding(column(342), END_OF_MIB_VIEW),
    ]),
    "error-status.ber": response([binding(column(2), NULL)], error_status=5, error_index=1),
    "outside-subtree.ber": response([
        binding(column(29), opaque_float(3.25)),
        binding(TABLE[:-1] + [2, 1, 1], integer(5)),
    ]),
    "no-bindings.ber": response([]),
    "not-increasing.ber": response([binding(TABLE, integer(1))]),
}


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    for name, data in SEEDS.items():
        with open(os.path.join(sys.argv[1], name), "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main()
