#!/usr/bin/env python3
"""Writes the PE checksum into a linked program, in place. lld 14 leaves it 0,
and Authenticode tools recompute it when they take a signature off: without
it a signed release would not strip back to the built file byte for byte."""
import struct
import sys


def main(path):
    with open(path, "r+b") as f:
        data = bytearray(f.read())
        field = struct.unpack_from("<I", data, 0x3C)[0] + 4 + 20 + 64
        struct.pack_into("<I", data, field, 0)
        padded = data + b"\0" * (len(data) % 2)
        total = 0
        for (word,) in struct.iter_unpack("<H", padded):
            total += word
            total = (total & 0xFFFF) + (total >> 16)
        total = (total & 0xFFFF) + (total >> 16)
        struct.pack_into("<I", data, field, (total + len(data)) & 0xFFFFFFFF)
        f.seek(0)
        f.write(data)


if __name__ == "__main__":
    main(sys.argv[1])
