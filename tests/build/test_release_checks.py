#!/usr/bin/python3
"""The checks a release passes through, each tried on what must pass it and
on what must fail it.

    tests/build/test_release_checks.py BUILD_DIR   (a configured and built Windows build)

tools/inspect on the built image (equal payloads, a differing one, --extract,
an unreadable file, an unsigned, a signed and an untrusted image); the image
check's NO_SEH and fs-segment checks against an ordinary mingw program that
touches the exception-frame list; the payload rules (the package's and the
installer's first bytes, an empty and an odd note, the bound at and just
above it) through inspect, and through configures of a release build: a
missing file, an empty note, LUMENTA_ALLOW_UNUSUAL_PAYLOADS, a payload
deleted after the configure, a bad LUMENTA_VERSION. Ends with
"release-checks: N passed, N failed".
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.dont_write_bytecode = True
sys.path[:0] = [os.path.join(ROOT, "tests", "image"), os.path.join(ROOT, "tools")]
import check_image  # noqa: E402
import pe as PE  # noqa: E402

INSPECT = os.path.join(ROOT, "tools", "inspect")
BOUND = 1 << 30
results = []


def check(name, ok, detail=""):
    results.append(ok)
    print(f"{'PASS' if ok else 'FAIL'} {name}" + ("" if ok else f": {detail}"))


def run(*command):
    return subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, check=False, text=True)


def sparse(path, size, head=b""):
    with open(path, "wb") as f:
        f.write(head)
        f.truncate(size)
    return path


def inspect_checks(payloads, exe, version, scratch):
    out = os.path.join(scratch, "out")
    r = run(INSPECT, exe, "--payloads", *payloads, "--extract", out)
    check("inspect: the built payloads are equal, exit 0", r.returncode == 0
          and r.stdout.count(", equals ") == 3, r.stdout)
    for kind in ("ASLR (DYNAMIC_BASE): yes", "DEP (NX_COMPAT): yes", "NO_SEH: yes",
                 "page-aligned in the file: yes", "requested execution level: asInvoker",
                 f"FileVersion: {version}", "signature: none"):
        check(f"inspect reports '{kind}'", kind in r.stdout, r.stdout)
    extracted = [os.path.join(out, n) for n in ("MSI-130.bin", "EXE-134.bin", "KvR-10.bin")]
    same = all(os.path.exists(a) and open(a, "rb").read() == open(b, "rb").read()
               and f"written to {a}" in r.stdout for a, b in zip(extracted, payloads))
    check("inspect --extract writes each payload byte for byte and names it", same, r.stdout)
    total = sum(os.path.getsize(p) for p in payloads)
    check("inspect: the stub size is the file without the payloads",
          f"stub size: {os.path.getsize(exe) - total} bytes" in r.stdout, r.stdout)

    # Each payload in turn swapped for the next one's file: the exit code tells.
    for index, kind in enumerate(("MSI", "EXE", "NOTE")):
        other = list(payloads)
        other[index] = payloads[(index + 1) % 3]
        r = run(INSPECT, exe, "--payloads", *other, "--allow-unusual")
        check(f"inspect: a differing {kind} exits 1", r.returncode == 1
              and "DIFFERS FROM" in r.stdout, f"exit {r.returncode}: {r.stdout}")
    for what, argv in (("a file that is no image", [os.path.join(ROOT, "README.md")]),
                       ("an image that does not exist", [os.path.join(scratch, "none.exe")]),
                       ("a payload file that does not exist",
                        [exe, "--payloads", payloads[0], payloads[1], "none.bin"])):
        r = run(INSPECT, *argv)
        check(f"inspect: {what} exits 2 with one line", r.returncode == 2
              and len(r.stdout.splitlines()) == 1 and "cannot be read" in r.stdout, r.stdout)

    # Signed with a throwaway certificate: verifies against it, not without it.
    key, cert = os.path.join(scratch, "key.pem"), os.path.join(scratch, "cert.pem")
    signed = os.path.join(scratch, "signed.exe")
    made = run("openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "2",
               "-subj", "/CN=Inspect Throwaway", "-addext", "extendedKeyUsage=codeSigning",
               "-keyout", key, "-out", cert)
    sign = run("osslsigncode", "sign", "-certs", cert, "-key", key, "-h", "sha256",
               "-in", exe, "-out", signed)
    if made.returncode or sign.returncode:
        check("a throwaway signature", False, made.stdout + sign.stdout)
        return
    r = run(INSPECT, signed, "--payloads", *payloads, "--cafile", cert)
    check("inspect: a signed image verifies against its certificate, exit 0", r.returncode == 0
          and "signature: present, verifies against" in r.stdout, r.stdout)
    r = run(INSPECT, signed)
    check("inspect: a self-signed image does not verify against the system's roots, exit 3",
          r.returncode == 3 and "signature: present, does NOT verify" in r.stdout, r.stdout)


def image_checks(scratch):
    # An ordinary program of the toolchain: its start-up reads the thread
    # block, the inline assembly the exception-frame list; no NO_SEH flag.
    source = os.path.join(scratch, "fs.c")
    exe = os.path.join(scratch, "fs.exe")
    with open(source, "w", encoding="utf-8") as f:
        f.write('int main(void) { void* head; __asm__ volatile("movl %%fs:0, %0" : "=r"(head));'
                ' return head != 0; }\n')
    r = run("i686-w64-mingw32-gcc", "-O2", "-o", exe, source)
    if r.returncode:
        check("a sample program that reads fs:[0]", False, r.stdout)
        return
    reason = check_image.check_no_frame_list_access(exe)
    check("the fs check fails on a program that reads fs:[0]",
          reason is not None and "%fs:0x0" in reason and "exception-frame list" in reason,
          str(reason))
    reason = check_image.check_no_seh_flag(PE.load(exe))
    check("the NO_SEH check fails on an image without the flag", reason is not None)


def payload_rules(payloads, scratch):
    """The rules, through inspect alone: (name, files, extra arguments, exit, text)."""
    msi, exe, note = payloads
    empty = sparse(os.path.join(scratch, "empty.bin"), 0)
    odd = sparse(os.path.join(scratch, "odd.bin"), 3, b"<\0<")
    small = sparse(os.path.join(scratch, "small.bin"), 10, b"MZ")
    cases = (
        ("the built payloads pass", payloads, [], 0, None),
        ("an installer given as the package is refused", (exe, exe, note), [], 1,
         "refused: the package"),
        ("a package given as the installer is refused", (msi, msi, note), [], 1,
         "is not a program: it does not begin with MZ"),
        ("an empty note is refused, saying what a note is", (msi, exe, empty), [], 1,
         "is empty: a note is UTF-16LE text"),
        ("--allow-unusual makes all three warnings", (exe, msi, empty), ["--allow-unusual"], 0,
         "warning: the note"),
        ("a note of odd length is a warning only", (msi, exe, odd), [], 0,
         "its last byte is ignored"),
        ("payloads at the bound pass", (sparse(os.path.join(scratch, "at.bin"), BOUND - 20,
                                               PE.CFB_SIGNATURE), small, small), [], 0, None),
        ("payloads one byte above the bound are refused, allowed or not",
         (sparse(os.path.join(scratch, "above.bin"), BOUND - 19, PE.CFB_SIGNATURE), small, small),
         ["--allow-unusual"], 1, f"the payloads total {BOUND + 1} bytes"),
    )
    for name, files, extra, code, text in cases:
        r = run(INSPECT, "--payloads", *files, "--bound", str(BOUND), *extra)
        ok = r.returncode == code and (text in r.stdout if text else not r.stdout)
        check(f"payloads: {name}", ok, f"exit {r.returncode}: {r.stdout}")


def configure_checks(payloads, version, scratch):
    """A release build's configure: each payload option given."""
    build = os.path.join(scratch, "release")
    copies = [shutil.copy(p, os.path.join(scratch, os.path.basename(p))) for p in payloads]
    options = ("LUMENTA_PACKAGE_MSI", "LUMENTA_DOTNET_SETUP", "LUMENTA_SOURCE_NOTE")
    given = dict(zip(options, copies))

    def configure(**options):
        settings = {**given, "LUMENTA_ALLOW_UNUSUAL_PAYLOADS": "OFF",
                    "LUMENTA_VERSION": version, **options}
        return run("cmake", "-S", ROOT, "-B", build, "-G", "Ninja",
                   f"-DCMAKE_TOOLCHAIN_FILE={ROOT}/cmake/mingw-w64-i686.cmake",
                   "-DCMAKE_BUILD_TYPE=Release", "-DLUMENTA_BUILD_TESTS=OFF",
                   *[f"-D{k}={v}" for k, v in settings.items()])

    def flat(r):
        return " ".join(r.stdout.split())

    r = configure(LUMENTA_PACKAGE_MSI=os.path.join(scratch, "none.msi"))
    check("configure: a missing package is refused, naming LUMENTA_PACKAGE_MSI",
          r.returncode != 0 and "none.msi does not exist; set LUMENTA_PACKAGE_MSI" in flat(r),
          r.stdout[-800:])
    empty = sparse(os.path.join(scratch, "empty-note.bin"), 0)
    r = configure(LUMENTA_SOURCE_NOTE=empty)
    check("configure: an empty note is refused", r.returncode != 0
          and "is empty: a note is UTF-16LE text" in flat(r), r.stdout[-800:])
    r = configure(LUMENTA_SOURCE_NOTE=empty, LUMENTA_ALLOW_UNUSUAL_PAYLOADS="ON")
    check("configure: LUMENTA_ALLOW_UNUSUAL_PAYLOADS makes it a warning", r.returncode == 0
          and "CMake Warning" in r.stdout and "is empty" in flat(r), r.stdout[-800:])
    r = configure(LUMENTA_PACKAGE_MSI=os.path.join(build, "payloads", "Lumenta.msi"),
                  LUMENTA_DOTNET_SETUP=given["LUMENTA_PACKAGE_MSI"])
    check("configure: a package given as the installer is refused beside the sample package",
          r.returncode != 0 and "is not a program: it does not begin with MZ" in flat(r),
          r.stdout[-800:])
    above = sparse(os.path.join(scratch, "above.msi"), BOUND + 1, PE.CFB_SIGNATURE)
    r = configure(LUMENTA_PACKAGE_MSI=above)
    check("configure: payloads above the bound are refused", r.returncode != 0
          and f"the payloads total {BOUND + 1 + sum(map(os.path.getsize, payloads[1:]))} bytes"
          in flat(r), r.stdout[-800:])
    r = configure(LUMENTA_VERSION="1.1.17")
    check("configure: a version of three numbers is refused", r.returncode != 0
          and "LUMENTA_VERSION must be four numbers" in flat(r), r.stdout[-800:])

    # Deleted after the configure: the build configures again and says which.
    r = configure()
    os.remove(given["LUMENTA_DOTNET_SETUP"])
    b = run("cmake", "--build", build, "--target", "LumentaSetupBoot")
    check("build: a payload deleted after the configure is named before anything compiles",
          r.returncode == 0 and b.returncode != 0 and "set LUMENTA_DOTNET_SETUP" in flat(b)
          and "Building" not in b.stdout, b.stdout[-800:])


def demo_parsers():
    """What tools/demo reads from Wine, on texts as Wine writes them."""
    from importlib.machinery import SourceFileLoader
    demo = SourceFileLoader("demo", os.path.join(ROOT, "tools", "demo")).load_module()
    trace = (r'0024:trace:process:CreateProcessInternalW app (null) cmdline '
             r'L"\"C:\\users\\me\\Temp\\dotNetFx40_Full_setup.exe\" /c:\"install\""' '\n'
             r'0030:trace:process:CreateProcessInternalW app L"C:\\a.exe" cmdline L"a \00e9\t"...')
    check("demo: a traced command line keeps its quotes and backslashes",
          demo.traced_command_lines(trace) == [
              '"C:\\users\\me\\Temp\\dotNetFx40_Full_setup.exe" /c:"install"',
              "a \u00e9\t [cut short in the trace]"], repr(demo.traced_command_lines(trace)))
    query = ("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Wine\n"
             "    DisplayName    REG_SZ    Not a product\n\n"
             "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
             "{b2bb9449-B9D1-46DE-A403-74C56747F16F}\n"
             "    Publisher    REG_SZ    Brannex\n"
             "    DisplayName    REG_SZ    Lumenta Sample\n")
    check("demo: a product registered for uninstalling is found with its name",
          demo.products_in_reg_query(query) ==
          {"{B2BB9449-B9D1-46DE-A403-74C56747F16F}": "Lumenta Sample"},
          repr(demo.products_in_reg_query(query)))


def main(argv):
    if len(argv) != 1:
        print(__doc__)
        return 2
    build = os.path.abspath(argv[0])
    with open(os.path.join(build, "manifest.json"), encoding="utf-8") as f:
        m = json.load(f)
    payloads = [m["package_msi"], m["dotnet_setup"], m["source_note"]]
    scratch = tempfile.mkdtemp(prefix="release-checks-")
    try:
        inspect_checks(payloads, m["product"], m["version"], scratch)
        image_checks(scratch)
        payload_rules(payloads, scratch)
        configure_checks(payloads, m["version"], scratch)
        demo_parsers()
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    failed = results.count(False)
    print(f"release-checks: {len(results) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
