#!/usr/bin/python3
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
import sys

import pefile

PAGE = 4096


class ImageError(Exception):
    pass


def _checksum(data, checksum_offset):
    """The PE header checksum: the file's 16-bit words summed with end-around
    carry, the checksum field counted as zero, plus the file's length. (pefile's
    generate_checksum() gives the same in pure Python, about 5 s per 32 MiB.)"""
    words = array.array("H", data + (b"\0" if len(data) % 2 else b""))
    if sys.byteorder != "little":
        words.byteswap()
    total = sum(words) - words[checksum_offset // 2] - words[checksum_offset // 2 + 1]
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def align_resources(data, misalign=False):
    """Returns the image with its resource section page-aligned in the file
    (with misalign: not page-aligned), and the number of bytes inserted."""
    try:
        pe = pefile.PE(data=data, fast_load=True)
    except pefile.PEFormatError as e:
        raise ImageError(f"not an executable image ({e})") from e
    header = pe.OPTIONAL_HEADER
    directories = header.DATA_DIRECTORY

    def directory_size(name):
        index = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_" + name]
        return directories[index].Size if index < len(directories) else 0

    if pe.FILE_HEADER.PointerToSymbolTable:
        raise ImageError("the image has a symbol table (link it stripped)")
    if directory_size("SECURITY"):
        raise ImageError("the image is signed: align its resources before signing")
    if directory_size("DEBUG"):
        raise ImageError("the image has a debug directory (link it stripped)")
    if PAGE % header.FileAlignment:
        raise ImageError(f"file alignment {header.FileAlignment} does not divide the page size")

    rsrc = [s for s in pe.sections if s.Name.rstrip(b"\0") == b".rsrc"]
    if len(rsrc) != 1:
        raise ImageError("the image has no resource section" if not rsrc
                         else "the image has more than one resource section")
    rsrc_ptr = rsrc[0].PointerToRawData
    if misalign:
        pad = header.FileAlignment if rsrc_ptr % PAGE == 0 else 0
    else:
        pad = -rsrc_ptr % PAGE
    if pad == 0 or rsrc[0].SizeOfRawData == 0:
        return data, 0

    out = bytearray(data[:rsrc_ptr]) + bytes(pad) + data[rsrc_ptr:]
    for section in pe.sections:
        if section.SizeOfRawData and section.PointerToRawData >= rsrc_ptr:
            at = section.get_file_offset() + 20  # PointerToRawData
            out[at:at + 4] = (section.PointerToRawData + pad).to_bytes(4, "little")
    checksum_offset = header.get_file_offset() + 64
    if header.CheckSum:
        out[checksum_offset:checksum_offset + 4] = \
            _checksum(bytes(out), checksum_offset).to_bytes(4, "little")
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
