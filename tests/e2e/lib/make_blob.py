#!/usr/bin/env python3
"""Writes a large file of known content for the scale test.

    make_blob.py OUT SIZE

Every 1 MiB block starts with its own index (8 bytes, little-endian), the
rest of the block is the same pseudo-random MiB: a block written twice, out
of order or not at all is visible in a byte comparison, and the file is made
in a second or two.
"""
import os
import random
import struct
import sys

MIB = 1 << 20


def main():
    out, size = sys.argv[1], int(sys.argv[2])
    body = random.Random(20170117).randbytes(MIB)
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    tmp = out + ".tmp"
    with open(tmp, "wb") as f:
        written, index = 0, 0
        while written < size:
            block = (struct.pack("<Q", index) + body[8:])[: size - written]
            f.write(block)
            written += len(block)
            index += 1
    os.replace(tmp, out)


if __name__ == "__main__":
    main()
