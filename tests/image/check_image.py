#!/usr/bin/env python3
"""Checks a built bootstrapper image: what Windows sees before any code runs.

    check_image.py <exe> --msi FILE --exe FILE --note FILE [--xp-exports FILE]

One line per check, "PASS name" or "FAIL name: reason", then
"image: N passed, N failed". The exit code is 1 when a check failed, 2 for
bad arguments.

The PE file is parsed here, with the standard library only, so that the
checks do not depend on how a tool prints it.
"""

import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET

MACHINE_I386 = 0x14C
PE32_MAGIC = 0x10B
SUBSYSTEM_WINDOWS_GUI = 2
FILE_EXECUTABLE_IMAGE = 0x0002
FILE_32BIT_MACHINE = 0x0100
FILE_DLL = 0x2000

RT_ICON = 3
RT_GROUP_ICON = 14
RT_VERSION = 16
RT_MANIFEST = 24

DIR_IMPORT = 1
DIR_RESOURCE = 2
DIR_TLS = 9
DIR_DELAY_IMPORT = 13

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll", "msvcrt.dll"}
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  # Windows Vista
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # Windows 7
}
VERSION_TEXT = "1.1.1.17"
VERSION_NUMBERS = (1, 1, 1, 17)
STRING_TABLE = "040904e4"
VERSION_STRINGS = {
    "FileVersion": VERSION_TEXT,
    "ProductVersion": VERSION_TEXT,
    "InternalName": "LumentaSetupBoot.exe",
    "OriginalFilename": "LumentaSetupBoot.exe",
    "CompanyName": "Brannex",
    "FileDescription": "Lumenta Setup",
    "ProductName": "Lumenta",
    "LegalCopyright": "Copyright (C) Brannex",
}
# Type names are compared as the loader compares them: without regard to case.
PAYLOADS = (("resource_msi_130", "MSI", 130, "msi"),
            ("resource_exe_134", "EXE", 134, "exe"),
            ("resource_kvr_10", "KVR", 10, "note"))


class ImageError(Exception):
    pass


class PeImage:
    """The parts of a PE32 file that the checks read."""

    def __init__(self, data):
        self.data = data
        if len(data) < 0x40 or data[:2] != b"MZ":
            raise ImageError("no MZ header")
        pe = self.u32(0x3C)
        if data[pe:pe + 4] != b"PE\0\0":
            raise ImageError("no PE signature")
        (self.machine, sections, self.timestamp, _, _, opt_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, pe + 4)
        opt = pe + 24
        self.magic = self.u16(opt)
        if self.magic != PE32_MAGIC:
            # The rest of the layout differs for PE32+; nothing more is read.
            self.sections = []
            return
        self.os_version = (self.u16(opt + 40), self.u16(opt + 42))
        self.subsystem_version = (self.u16(opt + 48), self.u16(opt + 50))
        self.subsystem = self.u16(opt + 68)
        self.dll_characteristics = self.u16(opt + 70)
        count = self.u32(opt + 92)
        self.directories = [struct.unpack_from("<II", data, opt + 96 + 8 * i)
                            for i in range(min(count, 16))]
        self.sections = []
        table = opt + opt_size
        self.section_flags = {}
        for i in range(sections):
            name, vsize, va, raw_size, raw_ptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
            name = name.rstrip(b"\0").decode("latin-1")
            self.sections.append((name, va, max(vsize, raw_size), raw_ptr, raw_size))
            self.section_flags[name] = self.u32(table + 40 * i + 36)

    def u16(self, offset):
        return struct.unpack_from("<H", self.data, offset)[0]

    def u32(self, offset):
        return struct.unpack_from("<I", self.data, offset)[0]

    def offset(self, rva):
        for _, va, size, raw_ptr, raw_size in self.sections:
            if va <= rva < va + size:
                if rva - va >= raw_size:
                    raise ImageError(f"RVA {rva:#x} lies in uninitialised data")
                return raw_ptr + rva - va
        raise ImageError(f"RVA {rva:#x} is in no section")

    def bytes_at(self, rva, size):
        start = self.offset(rva)
        if start + size > len(self.data):
            raise ImageError(f"{size} bytes at RVA {rva:#x} run past the end of the file")
        return self.data[start:start + size]

    def cstring(self, rva):
        start = self.offset(rva)
        end = self.data.index(b"\0", start)
        return self.data[start:end].decode("latin-1")

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def imports(self):
        """{dll name (lower case): [function name, or '#ordinal']}, delay-loaded included."""
        result = {}
        rva, _ = self.directory(DIR_IMPORT)
        while rva:
            lookup, _, _, name, first = struct.unpack("<IIIII", self.bytes_at(rva, 20))
            if not (lookup or name or first):
                break
            self._thunks(result.setdefault(self.cstring(name).lower(), []), lookup or first)
            rva += 20
        rva, _ = self.directory(DIR_DELAY_IMPORT)
        while rva:
            fields = struct.unpack("<8I", self.bytes_at(rva, 32))
            attributes, name, names = fields[0], fields[1], fields[4]
            if not name:
                break
            if not attributes & 1:  # pre-Visual C++ 7 layout: virtual addresses
                raise ImageError("delay-import descriptor with addresses instead of RVAs")
            self._thunks(result.setdefault(self.cstring(name).lower(), []), names)
            rva += 32
        return result

    def _thunks(self, names, rva):
        while True:
            thunk = self.u32(self.offset(rva))
            if thunk == 0:
                return
            if thunk & 0x80000000:
                names.append(f"#{thunk & 0xFFFF}")
            else:
                names.append(self.cstring(thunk + 2))
            rva += 4

    def resources(self):
        """{(type, name): {language: bytes}}; string ids in upper case, as the loader sees them."""
        root, _ = self.directory(DIR_RESOURCE)
        if not root:
            return {}
        result = {}

        def entries(rva):
            _, _, _, _, named, ids = struct.unpack("<IIHHHH", self.bytes_at(rva, 16))
            for i in range(named + ids):
                ident, target = struct.unpack("<II", self.bytes_at(rva + 16 + 8 * i, 8))
                if ident & 0x80000000:
                    at = root + (ident & 0x7FFFFFFF)
                    length = struct.unpack("<H", self.bytes_at(at, 2))[0]
                    ident = self.bytes_at(at + 2, 2 * length).decode("utf-16-le").upper()
                yield ident, target

        for rtype, type_dir in entries(root):
            if not type_dir & 0x80000000:
                raise ImageError("resource type without a name level")
            for name, name_dir in entries(root + (type_dir & 0x7FFFFFFF)):
                if not name_dir & 0x80000000:
                    raise ImageError("resource name without a language level")
                languages = result.setdefault((rtype, name), {})
                for lang, leaf in entries(root + (name_dir & 0x7FFFFFFF)):
                    if leaf & 0x80000000:
                        raise ImageError("resource language level nested too deep")
                    data_rva, size = struct.unpack("<II", self.bytes_at(root + leaf, 8))
                    languages[lang] = self.bytes_at(data_rva, size)
        return result


# ---- Checks: each returns None for a pass or the reason of a failure -------------------

def check_pe32_i386(image):
    if image.machine != MACHINE_I386:
        return f"machine is {image.machine:#x}, not i386 ({MACHINE_I386:#x})"
    if image.magic != PE32_MAGIC:
        return f"optional header magic is {image.magic:#x}, not PE32"
    wanted = FILE_EXECUTABLE_IMAGE | FILE_32BIT_MACHINE
    if image.characteristics & wanted != wanted or image.characteristics & FILE_DLL:
        return f"characteristics {image.characteristics:#x} are not a 32-bit executable's"
    return None


def check_gui_subsystem(image):
    if image.subsystem != SUBSYSTEM_WINDOWS_GUI:
        return f"subsystem is {image.subsystem}, not Windows GUI ({SUBSYSTEM_WINDOWS_GUI})"
    return None


def check_os_version(image):
    if image.os_version != (5, 1):
        return "operating-system version is %d.%d, not 5.1" % image.os_version
    return None


def check_subsystem_version(image):
    if image.subsystem_version != (5, 1):
        return "subsystem version is %d.%d, not 5.1" % image.subsystem_version
    return None


def check_no_timestamp(image):
    # A time stamp would make every build's bytes differ.
    if image.timestamp != 0:
        return f"header time stamp is {image.timestamp:#x}, not 0"
    return None


SCN_MEM_WRITE = 0x80000000


def check_resources_page_aligned(image):
    # Only a section that starts on a page of the file can be mapped by the
    # loader; Wine reads any other into memory, payloads and all.
    for name, _, _, raw_ptr, raw_size in image.sections:
        if name == ".rsrc":
            if raw_size and raw_ptr % 4096:
                return f"resource section at file offset {raw_ptr:#x}, not page-aligned"
            return None
    return "no resource section"


def check_frame_table(image):
    # The program finds its unwind tables by this section's name; a link that
    # merged them into another section would leave every throw without them.
    flags = image.section_flags.get(".eh_fram")
    if flags is None:
        return "no .eh_fram section (the unwind tables)"
    if flags & SCN_MEM_WRITE:
        return "the unwind tables are writable"
    for name in (".rdata", ".text"):
        if name in image.section_flags and image.section_flags[name] & SCN_MEM_WRITE:
            return f"section {name} is writable"
    return None


DLLCHAR_NO_SEH = 0x0400


def check_no_seh_flag(image):
    if not image.dll_characteristics & DLLCHAR_NO_SEH:
        return (f"DllCharacteristics {image.dll_characteristics:#x} lack "
                f"IMAGE_DLLCHARACTERISTICS_NO_SEH ({DLLCHAR_NO_SEH:#x})")
    return None


# An operand in the fs segment, as objdump prints it ("%fs:0x0", "%fs:(%eax)").
FS_OPERAND = re.compile(r"%fs:(\S*)")


def check_no_frame_list_access(path, objdump="i686-w64-mingw32-objdump"):
    # fs:[0] is the head of the thread's exception-frame list. Any other fs
    # operand is refused as well: the block's self pointer (fs:[0x18]) or an
    # address in a register reaches the same list, and the program needs
    # neither.
    tool = shutil.which(objdump)
    if tool is None:
        return f"{objdump} is not installed"
    listing = subprocess.run([tool, "-d", path], stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, check=False)
    if listing.returncode != 0:
        return f"{objdump} -d failed: {listing.stderr.decode(errors='replace').strip()}"
    found = []
    for line in listing.stdout.decode("latin-1").splitlines():
        match = FS_OPERAND.search(line)
        if match:
            where = "the exception-frame list" if match.group(1).startswith(("0x0,", "0,")) \
                or match.group(1) in ("0x0", "0") else "the thread block"
            found.append(f"{' '.join(line.split())} ({where})")
    if found:
        return f"{len(found)} instructions address fs: " + "; ".join(found[:5])
    return None


def check_no_tls(image):
    # The program's own entry point runs no thread-local-storage callbacks.
    if image.directory(DIR_TLS)[1]:
        return "the image has a TLS directory"
    return None


def check_imports_system_dlls(imports):
    others = sorted(set(imports) - SYSTEM_DLLS)
    if others:
        return "imports " + ", ".join(others)
    return None


def read_xp_exports(path):
    exports, dll = {}, None
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.split("#", 1)[0].strip()
            if not line:
                continue
            if line.startswith("[") and line.endswith("]"):
                dll = line[1:-1].strip().lower()
                exports.setdefault(dll, set())
            elif dll is None:
                raise ImageError(f"{path}:{number}: a name before the first [dll] line")
            else:
                exports[dll].add(line)
    return exports


def check_imports_on_xp(imports, xp_exports):
    missing = []
    for dll in sorted(imports):
        known = xp_exports.get(dll)
        for name in imports[dll]:
            if known is None or name not in known:
                missing.append(f"{dll}!{name}")
    if missing:
        return "not known to exist on Windows XP: " + ", ".join(missing)
    return None


def only_language(resources, key, what):
    languages = resources.get(key)
    if not languages:
        raise ImageError(f"no {what} resource")
    if len(languages) != 1:
        raise ImageError(f"{what} resource in {len(languages)} languages; "
                         "FindResourceA would pick one of them")
    return next(iter(languages.values()))


def check_manifest(resources):
    manifests = [key for key in resources if key[0] == RT_MANIFEST]
    if manifests != [(RT_MANIFEST, 1)]:
        return f"manifest resources are {[key[1] for key in manifests]}, not exactly [1]"
    text = only_language(resources, (RT_MANIFEST, 1), "manifest")
    try:
        root = ET.fromstring(text)
    except ET.ParseError as e:
        return f"manifest is not well-formed XML: {e}"

    def local(tag):
        return tag.rsplit("}", 1)[-1]

    elements = list(root.iter())
    levels = [e for e in elements if local(e.tag) == "requestedExecutionLevel"]
    if len(levels) != 1:
        return f"{len(levels)} requestedExecutionLevel elements, not 1"
    if levels[0].get("level") != "asInvoker" or levels[0].get("uiAccess") != "false":
        return f"requestedExecutionLevel is {levels[0].attrib}, not asInvoker without uiAccess"
    dpi = [e for e in elements if local(e.tag) == "dpiAware"]
    if len(dpi) != 1 or (dpi[0].text or "").strip() != "true":
        return "dpiAware is not declared exactly once as true"
    supported = {(e.get("Id") or "").lower() for e in elements if local(e.tag) == "supportedOS"}
    if supported != SUPPORTED_OS:
        return f"supportedOS ids are {sorted(supported)}, not {sorted(SUPPORTED_OS)}"
    dependencies = [e for e in elements if local(e.tag) in ("dependency", "dependentAssembly")]
    if dependencies:
        return "manifest declares an assembly dependency (common controls or other)"
    return None


def version_nodes(data, offset, end):
    """The VS_VERSIONINFO tree: (key, value bytes, value type, children) per node."""
    nodes = []
    while offset + 6 <= end:
        length, value_length, value_type = struct.unpack_from("<HHH", data, offset)
        if length < 6 or offset + length > end:
            raise ImageError(f"version node at {offset} has a bad length {length}")
        node_end = offset + length
        at = offset + 6
        key_end = at
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[at:key_end].decode("utf-16-le")
        at = (key_end + 2 + 3) & ~3
        size = value_length * 2 if value_type == 1 else value_length
        value = data[at:at + size]
        at = (at + size + 3) & ~3
        nodes.append((key, value, value_type, version_nodes(data, at, node_end)))
        offset = (node_end + 3) & ~3
    return nodes


def check_version_fixed(resources):
    data = only_language(resources, (RT_VERSION, 1), "version")
    nodes = version_nodes(data, 0, len(data))
    if len(nodes) != 1 or nodes[0][0] != "VS_VERSION_INFO":
        return "the version resource is not one VS_VERSION_INFO block"
    fixed = nodes[0][1]
    if len(fixed) != 52:
        return f"fixed part is {len(fixed)} bytes, not 52"
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
    if signature != 0xFEEF04BD:
        return f"fixed part signature {signature:#x}"

    def numbers(ms, ls):
        return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    for what, ms, ls in (("FILEVERSION", file_ms, file_ls),
                         ("PRODUCTVERSION", product_ms, product_ls)):
        if numbers(ms, ls) != VERSION_NUMBERS:
            return "%s is %d,%d,%d,%d" % ((what,) + numbers(ms, ls))
    return None


def check_version_strings(resources):
    data = only_language(resources, (RT_VERSION, 1), "version")
    root = version_nodes(data, 0, len(data))[0]
    string_infos = [n for n in root[3] if n[0] == "StringFileInfo"]
    if len(string_infos) != 1:
        return f"{len(string_infos)} StringFileInfo blocks, not 1"
    tables = string_infos[0][3]
    if [t[0].lower() for t in tables] != [STRING_TABLE]:
        return f"string tables are {[t[0] for t in tables]}, not [{STRING_TABLE!r}]"
    strings = {key: value.decode("utf-16-le").rstrip("\0") for key, value, _, _ in tables[0][3]}
    wrong = [f"{key}={strings.get(key)!r} (want {want!r})"
             for key, want in VERSION_STRINGS.items() if strings.get(key) != want]
    if wrong:
        return "; ".join(wrong)
    translations = [v for n in root[3] if n[0] == "VarFileInfo"
                    for key, v, _, _ in n[3] if key == "Translation"]
    if translations != [struct.pack("<HH", 0x0409, 1252)]:
        return "VarFileInfo Translation is not 0x0409, 1252 alone"
    return None


def check_payload(resources, rtype, rid, path):
    data = only_language(resources, (rtype, rid), f'"{rtype}" {rid}')
    with open(path, "rb") as f:
        wanted = f.read()
    if data != wanted:
        first = next((i for i, (a, b) in enumerate(zip(data, wanted)) if a != b),
                     min(len(data), len(wanted)))
        return (f"{len(data)} bytes, {path} has {len(wanted)}; "
                f"first difference at byte {first}")
    return None


def check_icon_group(resources):
    group = only_language(resources, (RT_GROUP_ICON, 128), "icon group 128")
    reserved, kind, count = struct.unpack_from("<HHH", group)
    if reserved != 0 or kind != 1 or count == 0 or len(group) != 6 + 14 * count:
        return (f"icon group header {reserved},{kind},{count} for {len(group)} bytes "
                "is not an icon's")
    for i in range(count):
        width, height, _, _, _, _, size, icon_id = struct.unpack_from("<BBBBHHIH", group,
                                                                      6 + 14 * i)
        icon = resources.get((RT_ICON, icon_id))
        if not icon:
            return f"entry {i} names icon {icon_id}, which the image does not hold"
        image = next(iter(icon.values()))
        if len(image) != size:
            return f"icon {icon_id} is {len(image)} bytes, its group entry says {size}"
        if image[:4] != struct.pack("<I", 40):
            # Windows XP draws DIB icons only, not PNG-compressed ones.
            return f"icon {icon_id} ({width or 256}x{height or 256}) is not a DIB"
    return None


def main(argv):
    parser = argparse.ArgumentParser(description="Checks a built bootstrapper image.")
    parser.add_argument("exe")
    parser.add_argument("--msi", required=True, help="the package that MSI 130 must hold")
    parser.add_argument("--exe", dest="exe_payload", required=True,
                        help="the framework installer that EXE 134 must hold")
    parser.add_argument("--note", required=True, help="the note that KvR 10 must hold")
    parser.add_argument("--xp-exports",
                        default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                             "xp_exports.txt"))
    args = parser.parse_args(argv)
    payload_files = {"msi": args.msi, "exe": args.exe_payload, "note": args.note}

    results = []

    def run(name, check, *check_args):
        try:
            reason = check(*check_args)
        except (ImageError, OSError, struct.error, ValueError, IndexError, KeyError) as e:
            reason = str(e) or type(e).__name__
        results.append((name, reason))

    try:
        with open(args.exe, "rb") as f:
            image = PeImage(f.read())
    except (ImageError, OSError, struct.error) as e:
        print(f"FAIL pe_file: {e}")
        print("image: 0 passed, 1 failed")
        return 1

    run("pe32_i386", check_pe32_i386, image)
    run("gui_subsystem", check_gui_subsystem, image)
    run("os_version_5_1", check_os_version, image)
    run("subsystem_version_5_1", check_subsystem_version, image)
    run("no_timestamp", check_no_timestamp, image)
    run("resources_page_aligned", check_resources_page_aligned, image)
    run("frame_table_section", check_frame_table, image)
    run("no_tls_directory", check_no_tls, image)
    run("no_seh_flag", check_no_seh_flag, image)
    run("no_exception_frame_list_access", check_no_frame_list_access, args.exe)

    imports, resources = None, None
    try:
        imports = image.imports()
    except (ImageError, struct.error, ValueError) as e:
        results.append(("imports", f"import table unreadable: {e}"))
    if imports is not None:
        run("imports_system_dlls_only", check_imports_system_dlls, imports)
        run("imports_exist_on_xp",
            lambda: check_imports_on_xp(imports, read_xp_exports(args.xp_exports)))
    try:
        resources = image.resources()
    except (ImageError, struct.error, ValueError) as e:
        results.append(("resources", f"resource tree unreadable: {e}"))
    if resources is not None:
        run("manifest", check_manifest, resources)
        run("version_fixed", check_version_fixed, resources)
        run("version_strings", check_version_strings, resources)
        for name, rtype, rid, key in PAYLOADS:
            run(name, check_payload, resources, rtype, rid, payload_files[key])
        run("icon_group_128", check_icon_group, resources)

    failed = 0
    for name, reason in results:
        if reason is None:
            print(f"PASS {name}")
        else:
            failed += 1
            print(f"FAIL {name}: {reason}")
    print(f"image: {len(results) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
