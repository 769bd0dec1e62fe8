#!/usr/bin/env python3
"""The bench: size, start-to-exit time and peak private memory of the
bootstrapper under Wine, against an empty program and against the limit.

    bench/run.py [BUILD_DIR] [--runs N] [--memory-runs N] [--settle S] [--keep] [--json FILE]

BUILD_DIR is a Windows build folder configured with -DLUMENTA_BENCH=ON in
which the target lumenta_bench has been built (default build/bench; tools/bench
does all of it). One Xvfb display, one new win64 prefix and one persistent
wineserver serve the whole run, on the framework-present path:

  - the stand-in runtime shim in syswow64 with WINEDLLOVERRIDES mscoree=n,
    the framework's setup key (Install = 1, Version 4.0.30319) in the 32-bit
    view;
  - the shell's "open" of .msi (Msi.Package, both views) pointed at the
    bench's empty program, so that no installer is started or timed;
  - a desktop holder, so that the desktop process is up as in a Windows
    session instead of being started anew by every run that needs it.

Time is taken from the start of `wine <exe>` to the end of that process (the
Windows process runs in it); the runs of all programs are interleaved, in a
different order each round. Each run starts with no package in the
temporary folder, nothing of an earlier run still running, its image read
through once (in memory, as a file just downloaded is), a short quiet time
and the memory it will take recently in use (see _warm_free_memory: this
machine's host reclaims idle guest memory, which makes large writes slow at
random). The CPU time (user + system) of the process is shown beside it: it
leaves out waits for the wineserver and for other work on the machine.

Memory is the peak of RssAnon (the process's resident anonymous pages: heap,
stacks, private copies; not the mapped image or the page cache) in
/proc/<pid>/status, sampled about every millisecond from outside, in runs of
their own so that the sampling does not touch the timings. Windows' own
counters cannot serve under Wine: GetProcessMemoryInfo of another process is
the wineserver reading the same /proc file, it has no peak of private memory
(PeakPagefileUsage is the current value) and fails once the process has
ended. Sampling misses nothing that matters here: a copy of the package into
the heap, or Wine reading the resource section into memory, stays resident
for as long as the package is written, many samples long.

Exit status 0 when every run succeeded (whether the goals are met or not).
"""
import argparse
import getpass
import json
import os
import random
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

KIB = 1024
MIB = 1 << 20

PACKAGE_NAME = "BrannexLumentaSetup.msi"
MAKER_KEY = r"HKLM\Software\Brannex"
NDP_KEY = r"HKLM\Software\Microsoft\NET Framework Setup\NDP\v4\Full"
OPEN_COMMAND_KEY = r"HKCR\Msi.Package\shell\Open\command"
OPEN_HANDLER = r"C:\bench\open.exe"

BASE_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe=d"
FRAMEWORK_OVERRIDES = "mscoree=n;mshtml=;winemenubuilder.exe=d"

# Wine's own background processes; not waited for between runs.
SYSTEM_PROCESSES = {
    "services.exe", "winedevice.exe", "plugplay.exe", "svchost.exe", "rpcss.exe",
    "explorer.exe", "conhost.exe", "tabtip.exe", "wineboot.exe", "desktop.exe",
}

# Beyond the package: Wine's own allocations at process start.
WARM_EXTRA = 64 * MIB

GOAL_STUB = 80 * KIB
GOAL_RATIO = {256: 1.10, 1: 1.5}
GOAL_MEMORY_GROWTH = 1 * MIB


# The same Xvfb start-up as the end-to-end harness: one display that picks
# its own number.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "tests", "e2e"))
from lib.wine import Display, WineError  # noqa: E402


class BenchError(Exception):
    pass


# ---- Wine ----------------------------------------------------------------------------------


class Prefix:
    """A win64 prefix with one persistent wineserver. Wine's output goes to
    files: its background processes inherit it, and a pipe would stay open
    until the wineserver ends."""

    def __init__(self, path, display, log_dir):
        self.path = path
        self.display = display
        self.log_dir = log_dir
        self.server_started = False
        self._seq = 0
        self._needle = b"WINEPREFIX=" + path.encode() + b"\0"

    def env(self, overrides=BASE_OVERRIDES):
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("WINE", "LUMENTA_")) and k not in ("TMP", "TEMP", "TMPDIR")}
        env.update(WINEPREFIX=self.path, WINEARCH="win64", WINEDEBUG="-all",
                   WINEDLLOVERRIDES=overrides, DISPLAY=self.display)
        return env

    @property
    def drive_c(self):
        return os.path.join(self.path, "drive_c")

    def _logs(self, tag):
        self._seq += 1
        base = os.path.join(self.log_dir, f"{self._seq:05d}-{tag}")
        return base + ".out", base + ".err"

    def start(self, argv, overrides=BASE_OVERRIDES, tag="wine"):
        """Starts `wine argv...`: (Popen, file of its standard output)."""
        out, err = self._logs(tag)
        with open(out, "wb") as o, open(err, "wb") as e:
            proc = subprocess.Popen(["wine"] + list(argv), env=self.env(overrides),
                                    cwd=self.log_dir, stdin=subprocess.DEVNULL,
                                    stdout=o, stderr=e)
        return proc, out

    def run(self, argv, timeout=120, overrides=BASE_OVERRIDES, tag="wine"):
        """Runs a program to its end: (exit code, its standard output)."""
        proc, out = self.start(argv, overrides, tag)
        try:
            rc = proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.kill_user_processes()
            proc.kill()
            proc.wait(10)
            raise BenchError(f"{' '.join(argv)}: still running after {timeout} s")
        with open(out, "rb") as f:
            return rc, f.read().decode("utf-8", "replace")

    def create(self):
        os.makedirs(self.path)
        out, err = self._logs("wineserver")
        with open(out, "wb") as o, open(err, "wb") as e:
            subprocess.run(["wineserver", "-p"], env=self.env(), stdin=subprocess.DEVNULL,
                           stdout=o, stderr=e, timeout=30, check=False)
        self.server_started = True
        rc, _ = self.run(["wineboot", "-i"], timeout=300, tag="wineboot")
        if rc != 0:
            raise BenchError(f"wineboot -i failed ({rc})")
        if not self.wait_idle(120):
            raise BenchError("wineboot left processes running")

    def processes(self, include_server=False):
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit() or int(entry) == os.getpid():
                continue
            try:
                with open(f"/proc/{entry}/environ", "rb") as f:
                    if self._needle not in f.read() + b"\0":
                        continue
                with open(f"/proc/{entry}/cmdline", "rb") as f:
                    cmd = f.read().replace(b"\0", b" ").decode("utf-8", "replace").strip()
            except OSError:
                continue
            if not cmd or ("wineserver" in cmd.split(" ")[0] and not include_server):
                continue
            found.append((int(entry), cmd))
        return found

    def user_processes(self):
        result = []
        for pid, cmd in self.processes():
            image = cmd.split(" ")[0].replace("\\", "/").rsplit("/", 1)[-1].lower()
            if image not in SYSTEM_PROCESSES:
                result.append((pid, cmd))
        return result

    def wait_idle(self, timeout):
        deadline = time.monotonic() + timeout
        while self.user_processes():
            if time.monotonic() >= deadline:
                return False
            time.sleep(0.02)
        return True

    def kill_user_processes(self):
        for pid, _ in self.user_processes():
            _kill(pid)

    def shutdown(self):
        if not self.server_started:
            return
        try:
            subprocess.run(["wineserver", "-k"], env=self.env(), stdin=subprocess.DEVNULL,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        except subprocess.TimeoutExpired:
            pass
        for pid, _ in self.processes(include_server=True):
            _kill(pid)
        self.server_started = False


def _kill(pid):
    try:
        os.kill(pid, signal.SIGKILL)
    except OSError:
        pass


# ---- The bench's machine -------------------------------------------------------------------


class Bench:
    def __init__(self, build_dir, root, log_dir):
        with open(os.path.join(build_dir, "bench", "bench.json")) as f:
            self.m = json.load(f)
        self.root = root
        self.log_dir = log_dir
        self.display = Display(log_dir)
        self.prefix = None
        self.desktop = None
        self.temp_dir = None
        # Back to back, a run pays for the end of the one before it (some
        # 20-35 ms more here, the empty program's start included); a person
        # starts the program on a quiet system.
        self.settle = 0.3

    def start(self):
        name = self.display.start()
        self.prefix = Prefix(os.path.join(self.root, "prefix"), name, self.log_dir)
        self.prefix.create()
        p = self.prefix
        self.temp_dir = os.path.join(p.drive_c, "users", getpass.getuser(), "Temp")
        os.makedirs(self.temp_dir, exist_ok=True)

        shutil.copyfile(self.m["mscoree_shim"],
                        os.path.join(p.drive_c, "windows", "syswow64", "mscoree.dll"))
        handler = os.path.join(p.drive_c, "bench", "open.exe")
        os.makedirs(os.path.dirname(handler), exist_ok=True)
        shutil.copyfile(self.m["empty"], handler)
        for view in ("32", "64"):
            self.reg("add", OPEN_COMMAND_KEY, "/ve", "/d", f'"{OPEN_HANDLER}" "%1"', "/f",
                     f"/reg:{view}")
        self.reg("add", NDP_KEY, "/v", "Install", "/t", "REG_DWORD", "/d", "1", "/f", "/reg:32")
        self.reg("add", NDP_KEY, "/v", "Version", "/t", "REG_SZ", "/d", "4.0.30319", "/f",
                 "/reg:32")
        self.desktop, _ = p.start([self.m["desktop"]], tag="desktop")

    def stop(self, keep):
        if self.prefix:
            self.prefix.shutdown()
            if not keep:
                shutil.rmtree(self.prefix.path, ignore_errors=True)
        if self.desktop:
            try:
                self.desktop.wait(10)
            except subprocess.TimeoutExpired:
                self.desktop.kill()
        self.display.stop()

    def reg(self, *args, check=True):
        rc, out = self.prefix.run(["reg"] + list(args), timeout=60, tag="reg")
        if check and rc != 0:
            raise BenchError(f"wine reg {' '.join(args)} failed ({rc})")
        return rc, out

    @property
    def package(self):
        return os.path.join(self.temp_dir, PACKAGE_NAME)

    def clean(self):
        """No package in the temporary folder, nothing of a run running."""
        if not self.prefix.wait_idle(60):
            raise BenchError(f"still running: {self.prefix.user_processes()}")
        try:
            os.remove(self.package)
        except FileNotFoundError:
            pass

    def run_program(self, name, exe, expect_bytes, sample_memory=False):
        """One run: (seconds from start to exit, CPU seconds of the process,
        peak RssAnon in bytes or None)."""
        self.clean()
        _read_through(exe)
        time.sleep(self.settle)
        _warm_free_memory(os.path.join(self.root, "warm.bin"), (expect_bytes or 0) + WARM_EXTRA)
        peak = 0
        start = time.perf_counter()
        proc, _ = self.prefix.start([exe], overrides=FRAMEWORK_OVERRIDES, tag=name)
        # The end is seen when it happens (Popen's wait with a time-out polls
        # in steps of up to 50 ms; a timer stands in for the time-out), and
        # wait4 tells the CPU time that the process used.
        watchdog = threading.Timer(120, proc.kill)
        watchdog.start()
        done = 0
        if sample_memory:
            status_file = f"/proc/{proc.pid}/status"
            while True:
                done, status, usage = os.wait4(proc.pid, os.WNOHANG)
                if done:
                    break
                try:
                    with open(status_file, "rb") as f:
                        for line in f:
                            if line.startswith(b"RssAnon:"):
                                peak = max(peak, int(line.split()[1]) * KIB)
                                break
                except (OSError, ValueError):
                    pass
                time.sleep(0.001)
        if not done:
            _, status, usage = os.wait4(proc.pid, 0)
        elapsed = time.perf_counter() - start
        watchdog.cancel()
        rc = proc.returncode = os.waitstatus_to_exitcode(status)
        cpu = usage.ru_utime + usage.ru_stime
        if rc == -signal.SIGKILL:
            self.prefix.kill_user_processes()
            raise BenchError(f"{name}: still running after 120 s; killed")
        if rc != 0:
            raise BenchError(f"{name}: exit code {rc}")
        if expect_bytes is not None:
            size = os.path.getsize(self.package) if os.path.exists(self.package) else None
            if size != expect_bytes:
                raise BenchError(
                    f"{name}: package of {size} bytes written, {expect_bytes} expected")
        return elapsed, cpu, (peak if sample_memory else None)

    def note_values(self):
        """The SourceInfo values as `reg query` shows them, 32- and 64-bit view."""
        values = []
        for view in ("32", "64"):
            rc, out = self.reg("query", MAKER_KEY + r"\Freeware - Lumenta", "/v", "SourceInfo",
                               f"/reg:{view}", check=False)
            values.append(out if rc == 0 else None)
        return values

    def forget_notes(self):
        for view in ("32", "64"):
            self.reg("delete", MAKER_KEY, "/f", f"/reg:{view}", check=False)


def _read_through(path):
    """Reads a file to its end, so that its pages are in memory when a run
    starts. A memory manager that pages out cold page cache within seconds
    (as this machine's does) would otherwise have a large image read back
    from disk in some runs and not in others: one program, two timings."""
    buf = bytearray(8 << 20)
    with open(path, "rb", buffering=0) as f:
        while f.readinto(buf):
            pass


def _warm_free_memory(path, size):
    """Writes and deletes a file of `size` bytes, so that the memory that a
    run takes for its page cache and heap was in use a moment before.

    On this machine (a virtual machine whose host takes back guest memory
    that stays free for a while) the same 256 MiB write from a mapped file
    takes 50 ms when its pages were freed just before and 200-500 ms when
    they have been free for a second or more: Linux alone, without Wine,
    alternates between the two. Without this, every large run would be a
    draw between those two timings."""
    zeros = bytes(8 << 20)
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    try:
        left = size
        while left:
            left -= os.write(fd, zeros[:min(left, len(zeros))])
    finally:
        os.close(fd)
        os.remove(path)


# ---- Figures -------------------------------------------------------------------------------


def stats(values):
    return {"median": statistics.median(values), "min": min(values), "max": max(values),
            "runs": len(values)}


def fmt_ms(s):
    return f"{s['median'] * 1000:7.1f} [{s['min'] * 1000:.1f}-{s['max'] * 1000:.1f}]"


def fmt_mib(s):
    return f"{s['median'] / MIB:7.2f} [{s['min'] / MIB:.2f}-{s['max'] / MIB:.2f}]"


def verdict(ok):
    return "PASS" if ok else "MISS"


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("build_dir", nargs="?", default=os.path.join(here, "..", "build", "bench"))
    ap.add_argument("--runs", type=int, default=15, help="timed runs of each program (>= 7)")
    ap.add_argument("--memory-runs", type=int, default=7, help="sampled runs of each program")
    ap.add_argument("--settle", type=float, default=0.3,
                    help="seconds of quiet before each run (default 0.3)")
    ap.add_argument("--keep", action="store_true", help="keep the prefix and the logs")
    ap.add_argument("--json", help="also write the figures to this file")
    args = ap.parse_args()
    if args.runs < 7 or args.memory_runs < 1:
        ap.error("at least 7 timed runs and 1 sampled run")

    build_dir = os.path.abspath(args.build_dir)
    root = tempfile.mkdtemp(prefix="lumenta-bench-")
    log_dir = os.path.join(root, "logs")
    os.makedirs(log_dir)
    bench = Bench(build_dir, root, log_dir)
    bench.settle = args.settle
    m = bench.m
    payload_extra = os.path.getsize(m["dotnet_setup"]) + os.path.getsize(m["note"])
    variants = {}
    for name, v in m["variants"].items():
        v = dict(v)
        v["payload"] = os.path.getsize(v["msi"])
        v["stub"] = os.path.getsize(v["exe"]) - v["payload"] - payload_extra
        variants[name] = v
    programs = {"empty": {"exe": m["empty"], "payload": None}}
    programs.update(variants)

    ok = False
    try:
        t0 = time.monotonic()
        print("bench: Xvfb, a new win64 prefix, the framework-present set-up ...", flush=True)
        bench.start()
        print(f"bench: prefix ready in {time.monotonic() - t0:.0f} s; warming up", flush=True)

        # One untimed run of each: first starts of Wine's services and
        # caches land here. The note values of the product and of the limit
        # must be the same, in both views.
        bench.forget_notes()
        bench.run_program("ours-1", variants["ours-1"]["exe"], variants["ours-1"]["payload"])
        ours_notes = bench.note_values()
        bench.forget_notes()
        bench.run_program("limit-1", variants["limit-1"]["exe"], variants["limit-1"]["payload"])
        limit_notes = bench.note_values()
        if None in ours_notes or ours_notes != limit_notes:
            raise BenchError(f"note values differ: ours {ours_notes!r}, limit {limit_notes!r}")
        for name, v in programs.items():
            bench.run_program(name, v["exe"], v["payload"])

        times = {name: [] for name in programs}
        cpu = {name: [] for name in programs}
        print(f"bench: {args.runs} timed rounds of {len(programs)} programs", flush=True)
        order = list(programs)
        for r in range(args.runs):
            random.Random(r).shuffle(order)
            for name in order:
                elapsed, used, _ = bench.run_program(name, programs[name]["exe"],
                                                     programs[name]["payload"])
                times[name].append(elapsed)
                cpu[name].append(used)

        memory = {name: [] for name in variants}
        print(f"bench: {args.memory_runs} sampled rounds for memory", flush=True)
        for r in range(args.memory_runs):
            for name, v in variants.items():
                _, _, peak = bench.run_program(name, v["exe"], v["payload"],
                                               sample_memory=True)
                memory[name].append(peak)
        bench.clean()
        ok = True
        print(f"bench: done in {time.monotonic() - t0:.0f} s\n", flush=True)
    except (BenchError, WineError) as e:
        print(f"bench: FAILED: {e}\n  logs: {log_dir}", file=sys.stderr)
    finally:
        # The prefix goes (with any package left in it) unless asked to
        # stay; the logs stay when something failed.
        bench.stop(args.keep)
        if ok and not args.keep:
            shutil.rmtree(root, ignore_errors=True)
    if not ok:
        return 1

    T = {name: stats(v) for name, v in times.items()}
    C = {name: stats(v) for name, v in cpu.items()}
    M = {name: stats(v) for name, v in memory.items()}
    report(variants, T, C, M, args)
    if args.json:
        with open(args.json, "w") as f:
            json.dump({"stub_bytes": {n: v["stub"] for n, v in variants.items()},
                       "time_s": T, "cpu_s": C, "rss_anon_bytes": M,
                       "raw": {"time_s": times, "cpu_s": cpu, "rss_anon_bytes": memory}},
                      f, indent=2)
    return 0


def report(variants, T, C, M, args):
    # The stub differs by a few hundred bytes with the payloads' sizes (the
    # resource section's padding); the goal holds for the larger.
    stub = max(variants["ours-1"]["stub"], variants["ours-256"]["stub"])
    print(f"LumentaSetupBoot under Wine: median [min-max] of {args.runs} timed runs, "
          f"{args.memory_runs} sampled runs")
    print()
    print("Stub size (executable minus payload bytes)")
    print(f"  ours                        {stub:8d} B  {stub / KIB:6.1f} KiB   "
          f"goal <= 80 KiB        {verdict(stub <= GOAL_STUB)}")
    for mib in (1, 256):
        v = variants[f"ours-{mib}"]["stub"]
        print(f"    with the {mib:3d} MiB package   {v:8d} B  {v / KIB:6.1f} KiB")
    fa = variants["ours-256-unaligned"]["stub"]
    print(f"  ours, rsrc not page-aligned {fa:8d} B  {fa / KIB:6.1f} KiB")
    lim = variants["limit-256"]["stub"]
    print(f"  limit                       {lim:8d} B  {lim / KIB:6.1f} KiB")
    print()
    print("Start to exit, ms                 1 MiB                  256 MiB")
    print(f"  empty program           {fmt_ms(T['empty'])}")
    rows = [("limit", "limit"), ("limit + product walk", "limit-walk"), ("ours", "ours")]
    for label, key in rows:
        print(f"  {label:22s}  {fmt_ms(T[key + '-1'])}   {fmt_ms(T[key + '-256'])}")
    print(f"  {'ours, rsrc unaligned':22s}  {'':22s}   {fmt_ms(T['ours-256-unaligned'])}")
    cells = []
    for mib in (1, 256):
        ratio = T[f"ours-{mib}"]["median"] / T[f"limit-{mib}"]["median"]
        cells.append(f"{ratio:4.2f}x <= {GOAL_RATIO[mib]:.2f}x {verdict(ratio <= GOAL_RATIO[mib])}")
    print(f"  {'ours / limit':22s}  {cells[0]:22s}   {cells[1]}")
    best = [T[f"ours-{mib}"]["min"] / T[f"limit-{mib}"]["min"] for mib in (1, 256)]
    print(f"  {'ours / limit, fastest':22s}  {best[0]:4.2f}x{'':17s}   {best[1]:4.2f}x")
    # The same goals against the limit that also walks the installed
    # products, as the package launch must: under Wine that walk (msi.dll
    # and its imports, among them the display driver's start) is most of the
    # gap to the limit.
    cells = []
    for mib in (1, 256):
        ratio = T[f"ours-{mib}"]["median"] / T[f"limit-walk-{mib}"]["median"]
        cells.append(f"{ratio:4.2f}x <= {GOAL_RATIO[mib]:.2f}x {verdict(ratio <= GOAL_RATIO[mib])}")
    print(f"  {'ours / (limit + walk)':22s}  {cells[0]:22s}   {cells[1]}")
    print()
    print("CPU time of the process (user + system), ms: the same runs; unlike the time")
    print("to exit, it leaves out waits for the wineserver and for other load")
    print(f"  empty program           {fmt_ms(C['empty'])}")
    for label, key in rows:
        print(f"  {label:22s}  {fmt_ms(C[key + '-1'])}   {fmt_ms(C[key + '-256'])}")
    print(f"  {'ours, rsrc unaligned':22s}  {'':22s}   {fmt_ms(C['ours-256-unaligned'])}")
    print()
    print("Peak private memory (RssAnon), MiB    1 MiB            256 MiB")
    for label, key in (("limit", "limit"), ("limit + product walk", "limit-walk"),
                       ("ours", "ours")):
        print(f"  {label:22s}  {fmt_mib(M[key + '-1'])}   {fmt_mib(M[key + '-256'])}")
    print(f"  {'ours, rsrc unaligned':22s}  {'':20s}   {fmt_mib(M['ours-256-unaligned'])}")
    growth = M["ours-256"]["median"] - M["ours-1"]["median"]
    print(f"  ours, 256 MiB - 1 MiB: {growth / MIB:+.2f} MiB   goal <= 1 MiB   "
          f"{verdict(growth <= GOAL_MEMORY_GROWTH)}")


if __name__ == "__main__":
    sys.exit(main())
