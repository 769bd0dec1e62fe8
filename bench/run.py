#!/usr/bin/env python3
"""The bench: size, start-to-exit time and peak private memory of the
bootstrapper under Wine, against an empty program and against the limit.

    bench/run.py [BUILD_DIR] [--stock BUILD_DIR] [--runs N] [--memory-runs N] [--settle S]
                 [--keep] [--json FILE]

BUILD_DIR is a Windows build folder configured with -DLUMENTA_BENCH=ON in
which the target lumenta_bench has been built (default build/bench; tools/bench
does all of it). --stock names a second one, configured with the toolchain's
own runtime as well, in which lumenta_bench_ours has been built: its images
run beside ours. The prefix, the display and the wineserver are those of the
end-to-end tests (tests/e2e/lib/wine.py). One Xvfb display, one new win64
prefix and one persistent wineserver serve the whole run, on the
framework-present path:

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

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                                "tests", "e2e"))
from lib import expected as X  # noqa: E402
from lib.wine import Display, FRAMEWORK_DLL_OVERRIDES, Prefix, WineError  # noqa: E402

KIB = 1024
MIB = 1 << 20

MAKER_KEY = "HKLM\\" + X.MAKER_KEY
SOURCE_KEY = "HKLM\\" + X.SOURCE_KEY
NDP_KEY = "HKLM\\" + X.NDP_KEY
OPEN_COMMAND_KEY = r"HKCR\Msi.Package\shell\Open\command"
OPEN_HANDLER = r"C:\bench\open.exe"

# Beyond the package: Wine's own allocations at process start.
WARM_EXTRA = 64 * MIB

GOAL_STUB = 80 * KIB
GOAL_RATIO = {256: 1.10, 1: 1.5}
GOAL_MEMORY_GROWTH = 1 * MIB


class BenchError(Exception):
    pass


# ---- The bench's machine -------------------------------------------------------------------


class Bench:
    def __init__(self, build_dir, root, log_dir):
        self.m = load_manifest(build_dir)
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
        self.prefix = Prefix(os.path.join(self.root, "prefix"), name, self.log_dir,
                             background=("desktop.exe",))
        self.prefix.create(timeout=300, idle_timeout=120)
        p = self.prefix
        self.temp_dir = os.path.join(p.drive_c, "users", getpass.getuser(), "Temp")
        os.makedirs(self.temp_dir, exist_ok=True)

        shutil.copyfile(self.m["mscoree_shim"], os.path.join(p.system32_32bit(), "mscoree.dll"))
        handler = os.path.join(p.drive_c, "bench", "open.exe")
        os.makedirs(os.path.dirname(handler), exist_ok=True)
        shutil.copyfile(self.m["bench"]["empty"], handler)
        for view in ("32", "64"):
            self.reg("add", OPEN_COMMAND_KEY, "/ve", "/d", f'"{OPEN_HANDLER}" "%1"', "/f",
                     f"/reg:{view}")
        self.reg("add", NDP_KEY, "/v", "Install", "/t", "REG_DWORD", "/d", "1", "/f", "/reg:32")
        self.reg("add", NDP_KEY, "/v", "Version", "/t", "REG_SZ", "/d", "4.0.30319", "/f",
                 "/reg:32")
        self.desktop, _, _ = p.start([self.m["bench"]["desktop"]], cwd=self.log_dir, tag="desktop")

    def stop(self, keep):
        if self.prefix:
            self.prefix.shutdown()
            if not keep:
                self.prefix.remove()
        if self.desktop:
            try:
                self.desktop.wait(10)
            except subprocess.TimeoutExpired:
                self.desktop.kill()
        self.display.stop()

    def reg(self, *args, check=True):
        rc, out, _ = self.prefix.run(["reg"] + list(args), timeout=60, cwd=self.log_dir, tag="reg")
        if check and rc != 0:
            raise BenchError(f"wine reg {' '.join(args)} failed ({rc})")
        return rc, out

    @property
    def package(self):
        return os.path.join(self.temp_dir, X.PACKAGE_NAME)

    def clean(self):
        """No package in the temporary folder, nothing of a run running."""
        if not self.prefix.wait_idle(60, poll=0.02):
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
        proc, _, _ = self.prefix.start([exe], dll_overrides=FRAMEWORK_DLL_OVERRIDES,
                                       cwd=self.log_dir, tag=name)
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
            rc, out = self.reg("query", SOURCE_KEY, "/v", X.SOURCE_VALUE, f"/reg:{view}",
                               check=False)
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


def load_manifest(build_dir):
    with open(os.path.join(build_dir, "manifest.json")) as f:
        return json.load(f)


def verdict(ok):
    return "PASS" if ok else "MISS"


def load_variants(build_dir, rename=None):
    """The images of one bench build (the "bench" object of its manifest)
    with their payload and stub sizes; `rename` maps the names to keep to the
    names to show, leaving out the others."""
    m = load_manifest(build_dir)
    payload_extra = os.path.getsize(m["sample_dotnet_setup"]) + os.path.getsize(m["sample_note"])
    variants = {}
    for name, v in m["bench"]["variants"].items():
        if rename is not None and name not in rename:
            continue
        v = dict(v)
        if not os.path.exists(v["exe"]):
            raise BenchError(f"{v['exe']} is not built")
        v["payload"] = os.path.getsize(v["msi"])
        v["stub"] = os.path.getsize(v["exe"]) - v["payload"] - payload_extra
        variants[rename[name] if rename else name] = v
    return variants


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("build_dir", nargs="?", default=os.path.join(here, "..", "build", "bench"))
    ap.add_argument("--stock", metavar="BUILD_DIR",
                    help="a second bench build, configured with -DLUMENTA_STOCK_RUNTIME=ON, "
                         "whose bootstrapper images (target lumenta_bench_ours) are shown "
                         "beside ours")
    ap.add_argument("--runs", type=int, default=15,
                    help="timed runs of each program (default 15; fewer than 7 only to try the "
                         "bench itself out)")
    ap.add_argument("--memory-runs", type=int, default=7, help="sampled runs of each program")
    ap.add_argument("--settle", type=float, default=0.3,
                    help="seconds of quiet before each run (default 0.3)")
    ap.add_argument("--keep", action="store_true", help="keep the prefix and the logs")
    ap.add_argument("--json", help="also write the figures to this file")
    args = ap.parse_args()
    if args.runs < 1 or args.memory_runs < 1:
        ap.error("at least 1 timed run and 1 sampled run")

    build_dir = os.path.abspath(args.build_dir)
    try:
        variants = load_variants(build_dir)
        if args.stock:
            variants.update(load_variants(os.path.abspath(args.stock),
                                          {"ours-1": "stock-1", "ours-256": "stock-256"}))
    except (BenchError, OSError) as e:
        print(f"bench: {e}", file=sys.stderr)
        return 1
    root = tempfile.mkdtemp(prefix="lumenta-bench-")
    log_dir = os.path.join(root, "logs")
    os.makedirs(log_dir)
    bench = Bench(build_dir, root, log_dir)
    bench.settle = args.settle
    m = bench.m
    programs = {"empty": {"exe": m["bench"]["empty"], "payload": None}}
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
        if "stock-1" in variants:
            bench.forget_notes()
            bench.run_program("stock-1", variants["stock-1"]["exe"], variants["stock-1"]["payload"])
            stock_notes = bench.note_values()
            if stock_notes != ours_notes:
                raise BenchError(f"note values differ: ours {ours_notes!r}, "
                                 f"stock runtime {stock_notes!r}")
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
    R = {f"{mib} MiB": ratios(T, C, f"ours-{mib}", f"limit-{mib}") for mib in (1, 256)}
    report(variants, T, C, M, R, args)
    if args.json:
        with open(args.json, "w") as f:
            json.dump({"stub_bytes": {n: v["stub"] for n, v in variants.items()},
                       "time_s": T, "cpu_s": C, "rss_anon_bytes": M, "ours_over_limit": R,
                       "raw": {"time_s": times, "cpu_s": cpu, "rss_anon_bytes": memory}},
                      f, indent=2)
    return 0


def ratios(T, C, ours, limit):
    """ours / limit: of the wall times' medians and minimums, and of the CPU
    times' medians."""
    return {"wall_median": T[ours]["median"] / T[limit]["median"],
            "wall_min": T[ours]["min"] / T[limit]["min"],
            "cpu_median": C[ours]["median"] / C[limit]["median"]}


def same_bytes(a, b):
    with open(a, "rb") as f, open(b, "rb") as g:
        while True:
            x, y = f.read(1 << 20), g.read(1 << 20)
            if x != y:
                return False
            if not x:
                return True


def report(variants, T, C, M, R, args):
    stock = "stock-1" in variants
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
    if stock:
        v = max(variants["stock-1"]["stub"], variants["stock-256"]["stub"])
        print(f"  ours, stock runtime         {v:8d} B  {v / KIB:6.1f} KiB   "
              f"({(v - stub) / KIB:+.1f} KiB)")
        if same_bytes(variants["stock-1"]["exe"], variants["ours-1"]["exe"]):
            print("    (the same bytes as ours: that build made no image of its own runtime "
                  "choice)")
    fa = variants["ours-256-unaligned"]["stub"]
    print(f"  ours, rsrc not page-aligned {fa:8d} B  {fa / KIB:6.1f} KiB")
    lim = variants["limit-256"]["stub"]
    print(f"  limit                       {lim:8d} B  {lim / KIB:6.1f} KiB")
    print()

    rows = [("limit (the whole job)", "limit"), ("limit without the walk", "limit-nowalk"),
            ("ours", "ours")]
    if stock:
        rows.append(("ours, stock runtime", "stock"))

    def table(title, S):
        print(title)
        print(f"  {'empty program':22s}  {fmt_ms(S['empty'])}")
        for label, key in rows:
            print(f"  {label:22s}  {fmt_ms(S[key + '-1'])}   {fmt_ms(S[key + '-256'])}")
        print(f"  {'ours, rsrc unaligned':22s}  {'':22s}   {fmt_ms(S['ours-256-unaligned'])}")

    table("Start to exit, ms                 1 MiB                  256 MiB", T)
    print()
    table("CPU time of the process (user + system), ms: the same runs; unlike the time\n"
          "to exit, it leaves out waits for the wineserver and for other load", C)
    print()

    def ratio_row(mib, r):
        return (f"  {mib:3d} MiB{'':11s}{r['wall_median']:12.2f}x{r['wall_min']:10.2f}x"
                f"{r['cpu_median']:11.2f}x")

    # The limit does every step of the framework-present path that the
    # product must take, the walk of the installed products and the runtime
    # shim's check included: the ratio compares like with like.
    print(f"{'ours / limit':20s}{'wall median':>13s}{'wall min':>11s}{'CPU median':>12s}"
          f"   goal (wall median)")
    for mib in (1, 256):
        r = R[f"{mib} MiB"]
        goal = GOAL_RATIO[mib]
        print(f"{ratio_row(mib, r)}   <= {goal:.2f}x {verdict(r['wall_median'] <= goal)}")
    if stock:
        print("ours, stock runtime / limit")
        for mib in (1, 256):
            print(ratio_row(mib, ratios(T, C, f"stock-{mib}", f"limit-{mib}")))
    print()
    print("Peak private memory (RssAnon), MiB    1 MiB            256 MiB")
    for label, key in rows:
        print(f"  {label:22s}  {fmt_mib(M[key + '-1'])}   {fmt_mib(M[key + '-256'])}")
    print(f"  {'ours, rsrc unaligned':22s}  {'':20s}   {fmt_mib(M['ours-256-unaligned'])}")
    growth = M["ours-256"]["median"] - M["ours-1"]["median"]
    print(f"  ours, 256 MiB - 1 MiB: {growth / MIB:+.2f} MiB   goal <= 1 MiB   "
          f"{verdict(growth <= GOAL_MEMORY_GROWTH)}")


if __name__ == "__main__":
    sys.exit(main())
