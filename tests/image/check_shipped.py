#!/usr/bin/env python3
"""The checks of what a build ships, each tried on images that must pass it
and on images that must fail it.

    tests/image/check_shipped.py BUILD_DIR     (a configured and built Windows build)

tools/inspect on the built image (equal payloads, a differing one, --extract,
an unsigned, a signed and an untrusted image); the image check's NO_SEH and
fs-segment checks against an ordinary mingw program that touches the
exception-frame list; the payload bound at and just above it, by the build
step and by a configure. Ends with "shipped: N passed, N failed".
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "tests", "image"))
import check_image  # noqa: E402

INSPECT = os.path.join(ROOT, "tools", "inspect")
BOUNDS = os.path.join(ROOT, "cmake", "PayloadBounds.cmake")
BOUND = 1 << 30
results = []


def check(name, ok, detail=""):
    results.append(ok)
    print(f"{'PASS' if ok else 'FAIL'} {name}" + ("" if ok else f": {detail}"))


def run(*command):
    return subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT, check=False, text=True)


def manifest(build):
    with open(os.path.join(build, "manifest.json"), encoding="utf-8") as f:
        return json.load(f)


def sparse(path, size):
    with open(path, "wb") as f:
        f.truncate(size)
    return path


def inspect_checks(build, scratch):
    exe = os.path.join(build, "LumentaSetupBoot.exe")
    m = manifest(build)
    payloads = [m[k] for k in ("package_msi", "dotnet_setup", "source_note")]
    r = run(INSPECT, exe, "--payloads", *payloads, "--extract", os.path.join(scratch, "out"))
    check("inspect: the built payloads are equal, exit 0", r.returncode == 0
          and r.stdout.count(", equals ") == 3, r.stdout)
    for kind in ("ASLR (DYNAMIC_BASE): yes", "DEP (NX_COMPAT): yes", "NO_SEH: yes",
                 "page-aligned in the file: yes", "requested execution level: asInvoker",
                 "FileVersion: 1.1.1.17", "signature: none"):
        check(f"inspect reports '{kind}'", kind in r.stdout, r.stdout)
    extracted = [os.path.join(scratch, "out", n)
                 for n in ("MSI-130.bin", "EXE-134.bin", "KVR-10.bin")]
    same = all(os.path.exists(a) and open(a, "rb").read() == open(b, "rb").read()
               for a, b in zip(extracted, payloads))
    check("inspect --extract writes each payload byte for byte", same)
    total = sum(os.path.getsize(p) for p in payloads)
    check("inspect: the stub size is the file without the payloads",
          f"stub size: {os.path.getsize(exe) - total} bytes" in r.stdout, r.stdout)

    # Each payload in turn swapped for another file: the exit code tells.
    for index, kind in enumerate(("MSI", "EXE", "NOTE")):
        other = list(payloads)
        other[index] = payloads[(index + 1) % 3]
        r = run(INSPECT, exe, "--payloads", *other)
        check(f"inspect: a differing {kind} exits 1", r.returncode == 1
              and "DIFFERS FROM" in r.stdout, f"exit {r.returncode}: {r.stdout}")
    r = run(INSPECT, os.path.join(ROOT, "README.md"))
    check("inspect: a file that is no image exits 2", r.returncode == 2, r.stdout)

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
    check("inspect: a signed image verifies against its certificate", r.returncode == 0
          and "signature: present, verifies against" in r.stdout, r.stdout)
    r = run(INSPECT, signed)
    check("inspect: a self-signed image does not verify against the system's roots",
          "signature: present, does NOT verify" in r.stdout, r.stdout)


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
    with open(exe, "rb") as f:
        reason = check_image.check_no_seh_flag(check_image.PeImage(f.read()))
    check("the NO_SEH check fails on an image without the flag", reason is not None)


def bound_checks(scratch):
    small = sparse(os.path.join(scratch, "small.bin"), 10)
    cases = (("at the bound", BOUND - 20, 0), ("one byte above", BOUND - 19, 1))
    for what, size, failed in cases:
        msi = sparse(os.path.join(scratch, "msi.bin"), size)
        r = run("cmake", f"-DMSI={msi}", f"-DEXE={small}", f"-DNOTE={small}", "-P", BOUNDS)
        ok = (r.returncode != 0) == bool(failed)
        if failed:
            ok = ok and f"the payloads total {BOUND + 1} bytes" in r.stdout \
                and f"bound of {BOUND} bytes" in r.stdout
        check(f"build step: payloads {what}", ok, r.stdout)
    # A configure with payloads above the bound stops with the same message.
    msi = sparse(os.path.join(scratch, "msi.bin"), BOUND + 1)
    r = run("cmake", "-S", ROOT, "-B", os.path.join(scratch, "configure"),
            f"-DCMAKE_TOOLCHAIN_FILE={ROOT}/cmake/mingw-w64-i686.cmake",
            "-DCMAKE_BUILD_TYPE=Release", f"-DLUMENTA_PACKAGE_MSI={msi}",
            f"-DLUMENTA_DOTNET_SETUP={small}", f"-DLUMENTA_SOURCE_NOTE={small}")
    flat = " ".join(r.stdout.split())
    check("configure: payloads above the bound are refused", r.returncode != 0
          and f"the payloads total {BOUND + 21} bytes (MSI {BOUND + 1}, EXE 10, NOTE 10)" in flat,
          r.stdout[-1500:])


def main(argv):
    if len(argv) != 1:
        print(__doc__)
        return 2
    build = os.path.abspath(argv[0])
    scratch = tempfile.mkdtemp(prefix="check-shipped-")
    try:
        inspect_checks(build, scratch)
        image_checks(scratch)
        bound_checks(scratch)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    failed = results.count(False)
    print(f"shipped: {len(results) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
