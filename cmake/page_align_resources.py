#!/usr/bin/env python3
"""Moves the resource section of a linked PE image to a page-aligned place
in the file.

    page_align_resources.py [--misalign] IMAGE

A loader maps a section straight from the file only when the section's file
offset is a multiple of the page size; otherwise (Wine does this) it reads
the section into memory at load time. The bootstrapper's payloads are its
resource section, up to hundreds of megabytes: read into memory, they cost
the time of a copy and as much private memory. Linking every section at a
4096-byte file alignment gives the mapping but pads each section to a page;
this step keeps the usual 512-byte alignment and pads before the resource
section only.

The image is changed in place: zero bytes are inserted before the resource
section's data and the file offsets of it and of the sections after it move
by as much. Nothing else in an image fresh from the linker refers to a file
offset; the step refuses an image in which something does (a signature, a
debug directory, a symbol table), since those would have to move too. An
image whose resource section is already aligned is left as it is, so the
step can run more than once. The header checksum, when the linker set one,
is computed anew.

--misalign does the opposite, for the bench's comparison: it makes sure the
resource section is not page-aligned.
"""
import array
import struct
import sys

PAGE = 4096
DIR_SECURITY = 4
DIR_DEBUG = 6


class ImageError(Exception):
    pass


def _checksum(data, checksum_offset):
    """The PE header checksum: the file's 16-bit words summed with end-around
    carry, the checksum field counted as zero, plus the file's length."""
    padded = data + (b"\0" if len(data) % 2 else b"")
    words = array.array("H", padded)
    if sys.byteorder != "little":
        words.byteswap()
    total = sum(words) - words[checksum_offset // 2] - words[checksum_offset // 2 + 1]
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def align_resources(data, misalign=False):
    """Returns the image with its resource section page-aligned in the file
    (with misalign: not page-aligned), and the number of bytes inserted."""
    if data[:2] != b"MZ":
        raise ImageError("not an executable image (no MZ header)")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ImageError("no PE signature")
    coff = pe + 4
    sections, symbols = struct.unpack_from("<HxxxxI", data, coff + 2)
    optional_size = struct.unpack_from("<H", data, coff + 16)[0]
    opt = coff + 20
    magic = struct.unpack_from("<H", data, opt)[0]
    if magic == 0x10B:
        directories = opt + 96
    elif magic == 0x20B:
        directories = opt + 112
    else:
        raise ImageError(f"unknown optional header magic {magic:#x}")
    file_alignment = struct.unpack_from("<I", data, opt + 36)[0]
    checksum_offset = opt + 64
    directory_count = struct.unpack_from("<I", data, directories - 4)[0]

    def directory(index):
        if index >= directory_count:
            return 0, 0
        return struct.unpack_from("<II", data, directories + 8 * index)

    if symbols:
        raise ImageError("the image has a symbol table (link it stripped)")
    if directory(DIR_SECURITY)[1]:
        raise ImageError("the image is signed: align its resources before signing")
    if directory(DIR_DEBUG)[1]:
        raise ImageError("the image has a debug directory (link it stripped)")
    if PAGE % file_alignment:
        raise ImageError(f"file alignment {file_alignment} does not divide the page size")

    table = opt + optional_size
    headers = []
    for i in range(sections):
        at = table + 40 * i
        name = data[at:at + 8].rstrip(b"\0")
        raw_size, raw_ptr = struct.unpack_from("<II", data, at + 16)
        headers.append((at, name, raw_size, raw_ptr))
    rsrc = [h for h in headers if h[1] == b".rsrc"]
    if len(rsrc) != 1:
        raise ImageError("the image has no resource section" if not rsrc
                         else "the image has more than one resource section")
    _, _, rsrc_size, rsrc_ptr = rsrc[0]
    if misalign:
        pad = file_alignment if rsrc_ptr % PAGE == 0 else 0
    else:
        pad = -rsrc_ptr % PAGE
    if pad == 0 or rsrc_size == 0:
        return data, 0

    out = bytearray(data[:rsrc_ptr]) + bytes(pad) + data[rsrc_ptr:]
    for at, _, raw_size, raw_ptr in headers:
        if raw_size and raw_ptr >= rsrc_ptr:
            struct.pack_into("<I", out, at + 20, raw_ptr + pad)
    if struct.unpack_from("<I", data, checksum_offset)[0]:
        struct.pack_into("<I", out, checksum_offset, _checksum(bytes(out), checksum_offset))
    return bytes(out), pad


def main(argv):
    args = argv[1:]
    misalign = args[:1] == ["--misalign"]
    if misalign:
        args = args[1:]
    if len(args) != 1:
        print("usage: " + __doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    path = args[0]
    with open(path, "rb") as f:
        data = f.read()
    try:
        aligned, pad = align_resources(data, misalign)
    except ImageError as e:
        print(f"page_align_resources: {path}: {e}", file=sys.stderr)
        return 1
    if pad:
        with open(path, "wb") as f:
            f.write(aligned)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
