#!/usr/bin/env python3
"""Makes a package built by wixl reproducible.

    normalize_msi.py IN.msi OUT.msi

wixl stamps every build with a random package code (summary property 9, the
revision number) and with the build time (properties 12 and 13, created and
last saved), so that two builds of the same sources differ in those bytes
and nothing else. This script sets the times to SOURCE_DATE_EPOCH (or a
fixed date when it is not set) and derives the package code from the
package's remaining bytes: the same sources give the same package, and a
changed package gets a new package code, as the Windows Installer expects.

The summary stream is small and lies in one piece in wixl's output; the
script finds it by its format identifier, patches the three values in place
and refuses (exit status 1) when anything does not look as expected, rather
than write a package it cannot vouch for.
"""
import hashlib
import os
import re
import struct
import sys
import uuid

# FMTID_SummaryInformation {F29F85E0-4FF9-1068-AB91-08002B27B3D9}, as stored.
FMTID = uuid.UUID("F29F85E0-4FF9-1068-AB91-08002B27B3D9").bytes_le
PID_REVNUMBER, PID_CREATE_DTM, PID_LASTSAVE_DTM = 9, 12, 13
VT_LPSTR, VT_FILETIME = 0x1E, 0x40
FILETIME_UNIX_EPOCH = 11644473600  # seconds from 1601-01-01 to 1970-01-01
DEFAULT_EPOCH = 1577836800         # 2020-01-01T00:00:00Z
GUID_TEXT = re.compile(rb"\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\}")


def fail(msg):
    sys.exit(f"normalize_msi.py: {msg}")


def locate(data):
    """Offsets of the package code text and of the two FILETIME values."""
    # The stream: byte order FFFE, version, OS, class id, section count, then
    # the first section's format id and offset (from the stream's start).
    hits = [m.start() for m in re.finditer(re.escape(FMTID), data)]
    for fmt_at in hits:
        stream = fmt_at - 28
        if stream < 0 or data[stream:stream + 2] != b"\xfe\xff":
            continue
        (section_off,) = struct.unpack_from("<I", data, fmt_at + 16)
        section = stream + section_off
        _size, count = struct.unpack_from("<II", data, section)
        if not 0 < count < 64:
            continue
        found = {}
        for i in range(count):
            pid, off = struct.unpack_from("<II", data, section + 8 + 8 * i)
            found[pid] = section + off
        if not all(p in found for p in (PID_REVNUMBER, PID_CREATE_DTM, PID_LASTSAVE_DTM)):
            continue
        rev = found[PID_REVNUMBER]
        vt, length = struct.unpack_from("<II", data, rev)
        text_at = rev + 8
        if vt != VT_LPSTR or not GUID_TEXT.fullmatch(data[text_at:text_at + 38]):
            fail("revision number is not a package code")
        times = []
        for pid in (PID_CREATE_DTM, PID_LASTSAVE_DTM):
            (vt,) = struct.unpack_from("<I", data, found[pid])
            if vt != VT_FILETIME:
                fail(f"summary property {pid} is not a time")
            times.append(found[pid] + 4)
        return text_at, times
    fail("summary information stream not found in one piece")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with open(sys.argv[1], "rb") as f:
        data = bytearray(f.read())
    code_at, time_ats = locate(bytes(data))

    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", DEFAULT_EPOCH))
    filetime = (epoch + FILETIME_UNIX_EPOCH) * 10_000_000
    for at in time_ats:
        struct.pack_into("<Q", data, at, filetime)

    data[code_at:code_at + 38] = b"{00000000-0000-0000-0000-000000000000}"
    digest = hashlib.sha256(bytes(data)).digest()
    code = "{" + str(uuid.UUID(bytes=digest[:16], version=4)).upper() + "}"
    data[code_at:code_at + 38] = code.encode("ascii")

    tmp = sys.argv[2] + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, sys.argv[2])


if __name__ == "__main__":
    main()
