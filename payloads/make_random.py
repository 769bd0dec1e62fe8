#!/usr/bin/env python3
"""Writes a large payload of random bytes, for the bench and the scale test.

    make_random.py OUT SIZE

Random, so that nothing on the way (a sparse file, a compressed page, a
deduplicating disk) can make a large package cheaper than a real one, and
so that a block written twice, out of place or not at all shows in a byte
comparison; seeded, so that the same size gives the same bytes and a
rebuild relinks nothing.
"""
import os
import random
import sys

CHUNK = 8 << 20


def main():
    out, size = sys.argv[1], int(sys.argv[2])
    rng = random.Random(size)
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    tmp = out + ".tmp"
    with open(tmp, "wb") as f:
        left = size
        while left:
            n = min(left, CHUNK)
            f.write(rng.randbytes(n))
            left -= n
    os.replace(tmp, out)


if __name__ == "__main__":
    main()
