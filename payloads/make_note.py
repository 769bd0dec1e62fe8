#!/usr/bin/env python3
"""Writes an install-source note: text as UTF-16LE, no byte-order mark, no
terminator.

    make_note.py --out FILE (--from FILE | --text TEXT | --raw-hex HEX) [--append-byte HEX]
                 [--size N]

--from reads UTF-8 text; one line break at its end (the checked-in file's
last newline) is not part of the note. --text takes ASCII text in which
Python escapes such as \\u0000 stand for their code units. --raw-hex gives
the note's bytes directly. --append-byte adds one raw byte after
the text (a note of odd size). --size makes the script fail unless the note
has exactly N bytes, so that an edited text cannot silently change the
resource's size."""
import argparse
import os
import sys


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--out", required=True)
    src = ap.add_mutually_exclusive_group(required=True)
    src.add_argument("--from", dest="from_file")
    src.add_argument("--text")
    src.add_argument("--raw-hex", help="the note's bytes, as hexadecimal")
    ap.add_argument("--append-byte")
    ap.add_argument("--size", type=int)
    a = ap.parse_args()

    if a.raw_hex is not None:
        data = bytes.fromhex(a.raw_hex)
    else:
        if a.from_file is not None:
            with open(a.from_file, encoding="utf-8", newline="") as f:
                text = f.read()
            if text.endswith("\r\n"):
                text = text[:-2]
            elif text.endswith("\n"):
                text = text[:-1]
        else:
            text = a.text.encode("utf-8").decode("unicode_escape")
        data = text.encode("utf-16-le")
    if a.append_byte is not None:
        data += bytes([int(a.append_byte, 16)])

    if a.size is not None and len(data) != a.size:
        sys.exit(f"make_note.py: {a.out}: {len(data)} bytes, expected {a.size}")

    os.makedirs(os.path.dirname(os.path.abspath(a.out)), exist_ok=True)
    with open(a.out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
