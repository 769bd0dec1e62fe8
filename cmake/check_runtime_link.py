#!/usr/bin/python3
"""Checks, from the linker's map of an image, where its runtime came from.

    check_runtime_link.py --runtime own|stock MAP
    check_runtime_link.py --xp-imports IMAGE

own: the symbols that src/runtime/ replaces are defined by the members of
its library wherever the image has them (the entry point, the frame lookup
and the exception state always), and nothing of the pieces they replace was
linked: no registry of unwind tables, no emulated thread-local storage, no
run-time relocation of imported data, not the library's whole std::string.

stock: no object of src/runtime/ but the stock start-up's constructor, the
entry point and the frame registry are the toolchain's, and that
constructor is the last of the program's prioritised ones in the list,
which the start-up runs from its end: it runs before every constructor but
the toolchain's own frame registration (priority 0, which loads no DLL).

Exit status 1, with one line per finding, when a check fails; the build
then fails.

--xp-imports: prints, on one line, the DLL functions that IMAGE imports and
that tests/image/xp_exports.txt does not list as exported by Windows XP
(nothing when there are none); the configure step runs it on a probe linked
with the stock runtime.
"""
import argparse
import os
import re
import sys

IMAGE_TESTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "image")
OWN_OBJECTS = "liblumenta_runtime_own.a("
STOCK_OBJECTS = "liblumenta_runtime_stock.a("

REPLACED = [
    "WinMainCRTStartup",
    "atexit",
    "_Unwind_Find_FDE",
    "__cxa_get_globals",
    "__cxa_get_globals_fast",
    "__gthr_win32_mutex_init_function",
    "__gthr_win32_mutex_lock",
    "__gthr_win32_mutex_unlock",
    "__gthr_win32_mutex_destroy",
    "std::__throw_length_error(char const*)",
    "std::__throw_out_of_range_fmt(char const*, ...)",
    "std::__throw_logic_error(char const*)",
    "std::__throw_bad_alloc()",
    "__gnu_cxx::__verbose_terminate_handler()",
    "std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> >"
    "::_M_replace_cold(char*, unsigned int, char const*, unsigned int, unsigned int)",
]
ALWAYS_OWN = ["WinMainCRTStartup", "_Unwind_Find_FDE", "__cxa_get_globals"]
NEVER_WITH_OWN = [
    "__register_frame_info",
    "__deregister_frame_info",
    "__emutls_get_address",
    "_pei386_runtime_relocator",
]
# The library's explicit instantiation of the whole std::string, which one
# reference brings in whole, about 30 KB (src/runtime/win32/StringReplace.cpp).
NEVER_WITH_OWN_MEMBERS = ["libstdc++.a(string-inst.o)"]

SECTION = re.compile(r"^ (\S+)(?:\s+0x[0-9a-f]+\s+0x[0-9a-f]+\s+(\S.*))?$")
CONTINUED = re.compile(r"^\s+0x[0-9a-f]+\s+0x[0-9a-f]+\s+(\S.*)$")
SYMBOL = re.compile(r"^\s+0x[0-9a-f]+\s{2,}([^\s=][^=]*)$")


def read_map(path):
    """(symbol -> file that defines it, [(input section, file)] in order)."""
    symbols = {}
    sections = []
    in_memory_map = False
    current = None
    pending = None
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("Linker script and memory map"):
                in_memory_map = True
                continue
            if not in_memory_map:
                continue
            m = CONTINUED.match(line)
            if m and pending is not None:
                current = m.group(1).strip()
                sections.append((pending, current))
                pending = None
                continue
            m = SECTION.match(line)
            if m and not line.startswith("  "):
                if m.group(2):
                    current = m.group(2).strip()
                    sections.append((m.group(1), current))
                    pending = None
                else:
                    pending = m.group(1)
                continue
            m = SYMBOL.match(line)
            if m and current is not None and not CONTINUED.match(line):
                symbols.setdefault(m.group(1).strip(), current)
    return symbols, sections


def check(runtime, symbols, sections):
    findings = []
    files = {f for _, f in sections}
    if runtime == "own":
        for name in REPLACED:
            where = symbols.get(name)
            if where is not None and OWN_OBJECTS not in where:
                findings.append(f"{name} comes from {where}, not from src/runtime/")
        for name in ALWAYS_OWN:
            if name not in symbols:
                findings.append(f"{name} is not linked")
        for name in NEVER_WITH_OWN:
            if name in symbols:
                findings.append(f"{name} is linked (from {symbols[name]})")
        for member in NEVER_WITH_OWN_MEMBERS:
            if any(f.endswith(member) for f in files):
                findings.append(f"{member} is linked")
        if any(STOCK_OBJECTS in f for f in files):
            findings.append("the stock start-up's constructor is linked")
    else:
        ours = sorted(f for f in files if OWN_OBJECTS in f)
        if ours:
            findings.append("objects of src/runtime/ are linked: " + ", ".join(ours))
        for name in ("WinMainCRTStartup", "__register_frame_info"):
            where = symbols.get(name)
            if where is None:
                findings.append(f"{name} is not linked")
        # The toolchain's own start-up objects keep priority 0 (reserved to
        # them) for the registration of the unwind tables, which loads no
        # DLL; every other prioritised constructor must come before ours.
        ctors = [f for s, f in sections if s.startswith(".ctors.")
                 and not re.search(r"(^|/)crt(begin|end)\.o$", f)]
        if not ctors or STOCK_OBJECTS not in ctors[-1]:
            findings.append("the DLL-search constructor is not the last prioritised "
                            f"constructor: {ctors}")
    return findings


def missing_on_xp(image):
    """The image's imports that the list of Windows XP's exports lacks, as text."""
    import pefile
    sys.dont_write_bytecode = True
    sys.path.insert(0, IMAGE_TESTS)
    from check_image import check_imports_on_xp, read_xp_exports
    pe = pefile.PE(image, fast_load=True)
    pe.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
    imports = {entry.dll.decode().lower(): [i.name.decode() for i in entry.imports if i.name]
               for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    xp_exports = read_xp_exports(os.path.join(IMAGE_TESTS, "xp_exports.txt"))
    return check_imports_on_xp(imports, xp_exports) or ""


def main():
    parser = argparse.ArgumentParser()
    mode = parser.add_mutually_exclusive_group(required=True)
    mode.add_argument("--runtime", choices=("own", "stock"))
    mode.add_argument("--xp-imports", action="store_true")
    parser.add_argument("map", metavar="MAP|IMAGE")
    args = parser.parse_args()
    if args.xp_imports:
        print(missing_on_xp(args.map))
        return 0
    symbols, sections = read_map(args.map)
    if not symbols:
        print(f"check_runtime_link: no symbols in {args.map}")
        return 1
    findings = check(args.runtime, symbols, sections)
    for finding in findings:
        print(f"check_runtime_link: {args.map}: {finding}")
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main())
