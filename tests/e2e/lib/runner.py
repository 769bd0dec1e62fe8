"""Finds the scenarios, runs them on one prefix and reports.

Scenarios are the functions test_<name>(t) of the files tests/e2e/test_*.py,
run in file order and, within a file, in the order they are written. A
scenario's name is <file>.<function> without the test_ prefixes, e.g.
launch.exit_code_without_arguments. Each line of the report is
"PASS <name>" or "FAIL <name>: <why>"; the last is "e2e: N passed, N failed".
"""
import argparse
import importlib.util
import inspect
import os
import signal
import sys
import threading
import time
import traceback

from .session import Fail, Scenario, Session
from .wine import SLOWDOWN, WineError, make_temp_root

E2E_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
REPO = os.path.dirname(os.path.dirname(E2E_DIR))
DEFAULT_TIMEOUT = 120


def timeout(seconds):
    """Decorator: a longer (or shorter) limit for one scenario."""
    def mark(fn):
        fn.e2e_timeout = seconds
        return fn
    return mark


def discover(filters):
    found = []
    for file in sorted(os.listdir(E2E_DIR)):
        if not (file.startswith("test_") and file.endswith(".py")):
            continue
        module_name = file[:-3]
        module_loader = importlib.util.spec_from_file_location(
            f"e2e_{module_name}", os.path.join(E2E_DIR, file))
        module = importlib.util.module_from_spec(module_loader)
        module_loader.loader.exec_module(module)
        functions = [f for n, f in inspect.getmembers(module, inspect.isfunction)
                     if n.startswith("test_") and f.__module__ == module.__name__]
        functions.sort(key=lambda f: f.__code__.co_firstlineno)
        for f in functions:
            name = f"{module_name[5:]}.{f.__name__[5:]}"
            if not filters or any(k in name for k in filters):
                found.append((name, f))
    return found


class _Terminated(BaseException):
    pass


def _on_signal(signum, frame):
    raise _Terminated()


def main(argv=None):
    ap = argparse.ArgumentParser(prog="tests/e2e/run", description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("build_dir", nargs="?", default=os.path.join(REPO, "build", "win"),
                    help="the Windows build folder (default: build/win)")
    ap.add_argument("-k", dest="filters", action="append", default=[],
                    help="run only scenarios whose name contains this text (repeatable)")
    ap.add_argument("-x", dest="skips", action="append", default=[],
                    help="leave out scenarios whose name contains this text (repeatable)")
    ap.add_argument("--list", action="store_true", help="list the scenarios and exit")
    ap.add_argument("--keep", action="store_true", help="keep the prefix afterwards")
    ap.add_argument("-v", "--verbose", action="store_true", help="timings and details on stderr")
    args = ap.parse_args(argv)

    scenarios = discover(args.filters)
    left_out = [name for name, _ in scenarios if any(x in name for x in args.skips)]
    scenarios = [(name, fn) for name, fn in scenarios if name not in left_out]
    if left_out and not args.list:
        print("e2e: not run here (-x): " + " ".join(left_out), flush=True)
    if args.list:
        for name, _ in scenarios:
            print(name)
        return 0
    if not scenarios:
        print("e2e: no scenario matches", file=sys.stderr)
        print("e2e: 0 passed, 0 failed")
        return 1

    signal.signal(signal.SIGTERM, _on_signal)
    signal.signal(signal.SIGHUP, _on_signal)
    started = time.monotonic()
    work_root = make_temp_root()
    log_dir = os.path.join(os.path.abspath(args.build_dir), "e2e", "logs")
    _clear(log_dir)
    session = None
    passed = failed = 0

    def say(line):
        print(line, flush=True)

    def note(text):
        if args.verbose:
            print(text, file=sys.stderr, flush=True)

    try:
        session = Session(args.build_dir, work_root, log_dir)
        try:
            session.start()
        except (WineError, OSError) as e:
            say(f"FAIL setup: {e}")
            failed += 1
            scenarios = []
        note(f"set-up: {time.monotonic() - started:.1f} s (display {session.display}, "
             f"prefix {session.prefix.wine.path if session.prefix else '-'})")

        for name, fn in scenarios:
            t0 = time.monotonic()
            log_path = os.path.join(log_dir, name + ".log")
            with open(log_path, "w") as log_file:
                def log(text, _f=log_file):
                    _f.write(f"{time.monotonic() - t0:7.2f} {text}\n")
                    _f.flush()
                why = _run_one(session, name, fn, log)
            if why is None:
                passed += 1
                say(f"PASS {name}")
            else:
                failed += 1
                say(f"FAIL {name}: {why}")
            note(f"  {name}: {time.monotonic() - t0:.1f} s")
    except (KeyboardInterrupt, _Terminated):
        say("FAIL run: interrupted")
        failed += 1
    finally:
        if session:
            session.stop(keep=args.keep)
        if args.keep:
            print(f"e2e: prefix kept in {work_root}", file=sys.stderr)
        else:
            import shutil
            shutil.rmtree(work_root, ignore_errors=True)
    note(f"e2e: {time.monotonic() - started:.0f} s in all; logs in {log_dir}")
    say(f"e2e: {passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


def _run_one(session, name, fn, log):
    """Runs one scenario on a reset prefix; None when it passed, else why."""
    limit = getattr(fn, "e2e_timeout", DEFAULT_TIMEOUT) * SLOWDOWN
    expired = threading.Event()

    def watchdog():
        # Killing the prefix's programs ends every wait of the scenario.
        expired.set()
        for state in [session.prefix] + list(session.secondary.values()):
            state.wine.kill_user_processes()

    timer = threading.Timer(limit, watchdog)
    try:
        session.prefix.reset()
    except Exception as e:  # noqa: BLE001 - any failure to reset fails the scenario
        log(traceback.format_exc())
        return f"reset failed: {e}"
    t = Scenario(session, session.prefix, name, log)
    timer.start()
    try:
        fn(t)
        result = None
    except Fail as e:
        result = str(e)
    except WineError as e:
        result = f"wine: {e}"
    except Exception as e:  # noqa: BLE001 - a scenario's own fault is its failure
        log(traceback.format_exc())
        result = f"{type(e).__name__}: {e}"
    finally:
        timer.cancel()
    if expired.is_set():
        result = f"timed out after {limit} s" + (f" ({result})" if result else "")
    if result:
        log("FAIL: " + result)
    return result


def _clear(folder):
    import shutil
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder, exist_ok=True)
