#!/usr/bin/env python3
"""The link-map check of the image's runtime, on small maps in the linker's
format. Ends with "runtime-link: N passed, N failed"."""
import os
import sys
import tempfile

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "cmake"))
import check_runtime_link as crl  # noqa: E402

OWN = "CMakeFiles/lumenta_runtime_own.dir/src/runtime/win32/"
STOCK = "CMakeFiles/lumenta_runtime_stock.dir/src/runtime/win32/StockStartup.cpp.obj"
GCC = "/usr/lib/gcc/i686-w64-mingw32/12-win32/"


def section(name, file, *symbols, address=0x401000):
    """One input section as ld writes it: a long name on a line of its own."""
    lines = [f" {name}", f"                0x{address:08x}       0x10 {file}"]
    lines += [f"                0x{address:08x}                {s}" for s in symbols]
    return lines


OWN_OK = (section(".text$WinMainCRTStartup", OWN + "Startup.cpp.obj", "WinMainCRTStartup")
          + section(".text$atexit", OWN + "Startup.cpp.obj", "atexit")
          + section(".text$_Unwind_Find_FDE", OWN + "ExceptionSupport.cpp.obj", "_Unwind_Find_FDE")
          + section(".text$__cxa_get_globals", OWN + "ExceptionSupport.cpp.obj",
                    "__cxa_get_globals"))
STOCK_OK = (section(".text", GCC + "../../../../i686-w64-mingw32/lib/crt2.o", "WinMainCRTStartup")
            + section(".text", GCC + "libgcc_eh.a(unwind-dw2-fde.o)", "__register_frame_info")
            + [" .ctors.65434   0x0042972c        0x4 " + STOCK,
               " .ctors.65535   0x00429730        0x4 " + GCC + "crtend.o"])

CASES = [
    # name, runtime, map lines, findings expected
    ("own: everything from our objects", "own", OWN_OK, 0),
    ("own: a replaced hook taken from the library", "own",
     OWN_OK + section(".text.unlikely", GCC + "libstdc++.a(functexcept.o)",
                      "std::__throw_length_error(char const*)"), 1),
    ("own: the frame registry linked", "own",
     OWN_OK + section(".text", GCC + "libgcc_eh.a(unwind-dw2-fde.o)", "__register_frame_info"), 1),
    ("own: emulated TLS linked", "own",
     OWN_OK + section(".text", GCC + "libgcc.a(emutls.o)", "__emutls_get_address"), 1),
    ("own: the entry point missing", "own", OWN_OK[3:], 1),
    ("own: the stock constructor linked too", "own",
     OWN_OK + [" .ctors.65434   0x0042972c        0x4 " + STOCK], 1),
    ("stock: the toolchain's pieces, our constructor last", "stock", STOCK_OK, 0),
    ("stock: an object of ours linked", "stock",
     STOCK_OK + section(".text$_Unwind_Find_FDE", OWN + "ExceptionSupport.cpp.obj",
                        "_Unwind_Find_FDE"), 1),
    ("stock: another prioritised constructor after ours", "stock",
     STOCK_OK[:-1] + [" .ctors.65500   0x00429730        0x4 " + GCC + "libstdc++.a(x.o)"]
     + STOCK_OK[-1:], 1),
    ("stock: the restriction's constructor missing", "stock", STOCK_OK[:-2], 1),
]


def main():
    passed = failed = 0
    with tempfile.TemporaryDirectory() as tmp:
        for name, runtime, lines, want in CASES:
            path = os.path.join(tmp, "image.map")
            with open(path, "w") as f:
                f.write("Archive member included to satisfy reference by file (symbol)\n\n")
                f.write("Linker script and memory map\n\n" + "\n".join(lines) + "\n")
            findings = crl.check(runtime, *crl.read_map(path))
            if len(findings) == want:
                passed += 1
                print(f"PASS {name}")
            else:
                failed += 1
                print(f"FAIL {name}: {findings}")
    print(f"runtime-link: {passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
