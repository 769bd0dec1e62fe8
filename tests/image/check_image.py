#!/usr/bin/python3
"""Checks a built bootstrapper image: what Windows sees before any code runs.

    check_image.py <exe> --msi FILE --exe FILE --note FILE --version A.B.C.D
                   [--xp-exports FILE]

One line per check, "PASS name" or "FAIL name: reason", then
"image: N passed, N failed". The exit code is 1 when a check failed, 2 for
bad arguments. The image is read with tools/pe.py (pefile).
"""

import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import pe as PE  # noqa: E402
from pe import RT_ICON, RT_GROUP_ICON, RT_MANIFEST, RT_VERSION  # noqa: E402

MACHINE_I386 = 0x14C
PE32_MAGIC = 0x10B
SUBSYSTEM_WINDOWS_GUI = 2
FILE_EXECUTABLE_IMAGE = 0x0002
FILE_32BIT_MACHINE = 0x0100
FILE_DLL = 0x2000

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll", "msvcrt.dll"}
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  # Windows Vista
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # Windows 7
}
STRING_TABLE = "040904e4"
# The version strings besides FileVersion and ProductVersion, which are the
# version the build was configured with.
VERSION_STRINGS = {
    "InternalName": "LumentaSetupBoot.exe",
    "OriginalFilename": "LumentaSetupBoot.exe",
    "CompanyName": "Brannex",
    "FileDescription": "Lumenta Setup",
    "ProductName": "Lumenta",
    "LegalCopyright": "Copyright (C) Brannex",
}


class ImageError(Exception):
    pass


def imports(image):
    """{dll name (lower case): [function name, or '#ordinal']}, delay-loaded included."""
    result = {}
    for entry in getattr(image, "DIRECTORY_ENTRY_IMPORT", []) + \
            getattr(image, "DIRECTORY_ENTRY_DELAY_IMPORT", []):
        names = result.setdefault(entry.dll.decode("latin-1").lower(), [])
        names += [i.name.decode("latin-1") if i.name else f"#{i.ordinal}" for i in entry.imports]
    return result


def sections(image):
    return {s.Name.rstrip(b"\0").decode("latin-1"): s for s in image.sections}


# ---- Checks: each returns None for a pass or the reason of a failure -------------------

def check_field(what, value, wanted):
    return None if value == wanted else f"{what} is {value}, not {wanted}"


def check_pe32_i386(image):
    machine, magic = image.FILE_HEADER.Machine, image.OPTIONAL_HEADER.Magic
    characteristics = image.FILE_HEADER.Characteristics
    if machine != MACHINE_I386:
        return f"machine is {machine:#x}, not i386 ({MACHINE_I386:#x})"
    if magic != PE32_MAGIC:
        return f"optional header magic is {magic:#x}, not PE32"
    wanted = FILE_EXECUTABLE_IMAGE | FILE_32BIT_MACHINE
    if characteristics & wanted != wanted or characteristics & FILE_DLL:
        return f"characteristics {characteristics:#x} are not a 32-bit executable's"
    return None


SCN_MEM_WRITE = 0x80000000


def check_resources_page_aligned(image):
    # Only a section that starts on a page of the file can be mapped by the
    # loader; Wine reads any other into memory, payloads and all.
    rsrc = sections(image).get(".rsrc")
    if rsrc is None:
        return "no resource section"
    if rsrc.SizeOfRawData and rsrc.PointerToRawData % 4096:
        return f"resource section at file offset {rsrc.PointerToRawData:#x}, not page-aligned"
    return None


def check_frame_table(image):
    # The program finds its unwind tables by this section's name; a link that
    # merged them into another section would leave every throw without them.
    flags = {name: s.Characteristics for name, s in sections(image).items()}
    if ".eh_fram" not in flags:
        return "no .eh_fram section (the unwind tables)"
    if flags[".eh_fram"] & SCN_MEM_WRITE:
        return "the unwind tables are writable"
    for name in (".rdata", ".text"):
        if flags.get(name, 0) & SCN_MEM_WRITE:
            return f"section {name} is writable"
    return None


DLLCHAR_NO_SEH = 0x0400


def check_no_seh_flag(image):
    flags = image.OPTIONAL_HEADER.DllCharacteristics
    if not flags & DLLCHAR_NO_SEH:
        return (f"DllCharacteristics {flags:#x} lack "
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


def check_version_fixed(image, resources, version):
    only_language(resources, (RT_VERSION, 1), "version")
    if len(getattr(image, "VS_VERSIONINFO", [])) != 1 or \
            image.VS_VERSIONINFO[0].Key != b"VS_VERSION_INFO":
        return "the version resource is not one VS_VERSION_INFO block"
    if not hasattr(image, "VS_FIXEDFILEINFO") or image.VS_VERSIONINFO[0].ValueLength != 52:
        return "no fixed part of 52 bytes"
    if image.VS_FIXEDFILEINFO[0].Signature != 0xFEEF04BD:
        return f"fixed part signature {image.VS_FIXEDFILEINFO[0].Signature:#x}"
    fixed = PE.version(image)[0]
    wrong = [f"{what} is {fixed[what]}" for what in ("FILEVERSION", "PRODUCTVERSION")
             if fixed[what] != version]
    return "; ".join(wrong) or None


def check_version_strings(image, version):
    infos = [e.Key for info in getattr(image, "FileInfo", None) or [] for e in info]
    if infos.count(b"StringFileInfo") != 1:
        return f"{infos.count(b'StringFileInfo')} StringFileInfo blocks, not 1"
    _, tables, translations = PE.version(image)
    if [t.lower() for t in tables] != [STRING_TABLE]:
        return f"string tables are {list(tables)}, not [{STRING_TABLE!r}]"
    strings = tables[next(iter(tables))]
    wanted = dict(VERSION_STRINGS, FileVersion=version, ProductVersion=version)
    wrong = [f"{key}={strings.get(key)!r} (want {want!r})"
             for key, want in wanted.items() if strings.get(key) != want]
    if wrong:
        return "; ".join(wrong)
    if translations != [(0x0409, 1252)]:
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
    parser.add_argument("--version", required=True,
                        help="the version the build was configured with (LUMENTA_VERSION)")
    parser.add_argument("--xp-exports",
                        default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                             "xp_exports.txt"))
    args = parser.parse_args(argv)
    payload_files = (args.msi, args.exe_payload, args.note)

    results = []

    def run(name, check, *check_args):
        try:
            reason = check(*check_args)
        except (ImageError, PE.Error, OSError, struct.error, ValueError, IndexError,
                KeyError) as e:
            reason = str(e) or type(e).__name__
        results.append((name, reason))

    try:
        image = PE.load(args.exe, "IMPORT", "DELAY_IMPORT", "RESOURCE", "TLS")
    except (PE.Error, OSError) as e:
        print(f"FAIL pe_file: {e}")
        print("image: 0 passed, 1 failed")
        return 1

    run("pe32_i386", check_pe32_i386, image)
    h = image.OPTIONAL_HEADER
    run("gui_subsystem", check_field, "subsystem", h.Subsystem, SUBSYSTEM_WINDOWS_GUI)
    run("os_version_5_1", check_field, "operating-system version",
        f"{h.MajorOperatingSystemVersion}.{h.MinorOperatingSystemVersion}", "5.1")
    run("subsystem_version_5_1", check_field, "subsystem version",
        f"{h.MajorSubsystemVersion}.{h.MinorSubsystemVersion}", "5.1")
    # A time stamp would make every build's bytes differ.
    run("no_timestamp", check_field, "header time stamp", image.FILE_HEADER.TimeDateStamp, 0)
    run("resources_page_aligned", check_resources_page_aligned, image)
    run("frame_table_section", check_frame_table, image)
    # The program's own entry point runs no thread-local-storage callbacks.
    run("no_tls_directory", check_field, "TLS directory size", PE.directory(image, "TLS")[1], 0)
    run("no_seh_flag", check_no_seh_flag, image)
    run("no_exception_frame_list_access", check_no_frame_list_access, args.exe)

    found = imports(image)
    run("imports_system_dlls_only", check_imports_system_dlls, found)
    run("imports_exist_on_xp",
        lambda: check_imports_on_xp(found, read_xp_exports(args.xp_exports)))
    try:
        resources = PE.resources(image)
    except PE.Error as e:
        results.append(("resources", f"resource tree unreadable: {e}"))
    else:
        run("manifest", check_manifest, resources)
        run("version_fixed", check_version_fixed, image, resources, args.version)
        run("version_strings", check_version_strings, image, args.version)
        for (rtype, rid, _), path in zip(PE.PAYLOADS, payload_files):
            run(f"resource_{rtype.lower()}_{rid}", check_payload, resources, rtype.upper(), rid,
                path)
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
