"""The scenarios' view of Wine: one Session per run of the tests (display,
prefix, the built programs), one Scenario object per scenario.

A scenario is a function `test_<name>(t)` that receives a Scenario and
raises Fail (through t.eq, t.check, t.fail) when what Wine shows differs
from what is expected. Every wait has a time limit.
"""
import json
import os
import shutil
import subprocess
import time

from . import expected as X
from .wine import Display, Prefix, WineError, BASE_DLL_OVERRIDES, FRAMEWORK_DLL_OVERRIDES


class Fail(Exception):
    """A scenario's expectation that did not hold."""


# ---- Dialogs ---------------------------------------------------------------------------


class Dialog:
    def __init__(self, info):
        self.pid = info.get("pid")
        self.exe = info.get("exe", "")
        self.caption = info.get("caption", "")
        self.texts = info.get("texts", [])
        self.buttons = info.get("buttons", [])
        # Wine 8 keeps MB_TOPMOST out of the box's extended style, so the
        # style says nothing about it there.
        self.exstyle = info.get("exstyle", 0)
        self.icon = info.get("icon", False)

    @property
    def text(self):
        return "\n".join(self.texts)

    def __repr__(self):
        return (f"dialog of {self.exe}: caption {self.caption!r}, text {self.text!r}, "
                f"buttons {self.buttons!r}")


def _parse_dialog(output):
    for line in output.splitlines():
        line = line.strip()
        if line.startswith("{"):
            info = json.loads(line)
            return Dialog(info) if info.get("found") else None
    return None


# ---- Session ------------------------------------------------------------------------------


class Session:
    """The display, the prefix and the built programs of one run."""

    def __init__(self, build_dir, work_root, log_dir, arch="win64", display=None):
        self.build_dir = os.path.abspath(build_dir)
        manifest = os.path.join(self.build_dir, "manifest.json")
        if not os.path.exists(manifest):
            raise WineError(f"{manifest} is missing: configure {self.build_dir} with the "
                            "preset win")
        with open(manifest) as f:
            self.m = json.load(f)
        self.work_root = work_root
        self.log_dir = log_dir
        os.makedirs(log_dir, exist_ok=True)
        self.display = display
        self.own_display = None
        self.arch = arch
        self.prefix = None
        self.secondary = {}

    # ---- set-up and tear-down -----------------------------------------------------

    def check_programs(self):
        missing = [self.m[k] for k in ("product", "uidriver", "wintool", "filelock",
                                       "mscoree_shim", "package_msi", "dotnet_setup",
                                       "source_note")
                   if not os.path.exists(self.m[k])]
        missing += [v["exe"] for v in self.m["variants"].values() if not os.path.exists(v["exe"])]
        if missing:
            raise WineError("not built: " + ", ".join(missing))

    def start(self):
        self.check_programs()
        if not self.display:
            self.own_display = Display(self.log_dir)
            self.display = self.own_display.start()
        self.prefix = PrefixState(self, os.path.join(self.work_root, self.arch), self.arch)
        self.prefix.create()

    def prefix_for(self, arch):
        """The prefix of another architecture, made when first asked for."""
        if arch == self.arch:
            return self.prefix
        if arch not in self.secondary:
            state = PrefixState(self, os.path.join(self.work_root, arch), arch)
            self.secondary[arch] = state
            state.create()
        return self.secondary[arch]

    def stop(self, keep=False):
        for state in [self.prefix] + list(self.secondary.values()):
            if state:
                state.wine.shutdown()
                if not keep:
                    state.wine.remove()
        if self.own_display:
            self.own_display.stop()


class PrefixState:
    """A prefix with what the scenarios need to put it back between them."""

    def __init__(self, session, path, arch):
        self.session = session
        self.m = session.m
        self.wine = Prefix(path, session.display, session.log_dir, arch)
        self.arch = arch
        self._script_seq = 0

    def create(self):
        self.wine.create()
        lines = self.wintool(["temppath"],
                             ["get", "0", "HKCU", "Environment", "TEMP"],
                             ["get", "0", "HKCU", "Environment", "TMP"],
                             ["env", "LOCALAPPDATA"])
        self.default_temp = _hex_text(lines[0].split()[1])
        self.env_originals = {name: _parse_get(line)
                              for name, line in zip(("TEMP", "TMP"), lines[1:3])}
        self.default_temp_unix = self.wine.unix_path(self.default_temp)
        # Where a per-user package installs (LocalAppDataFolder): the
        # temporary folder is in it under Wine 10, not under Wine 8.
        if lines[3] == "none":
            raise WineError("the prefix's user has no LOCALAPPDATA")
        self.local_appdata = _hex_text(lines[3].split()[1]).rstrip("\\")
        self.shim_path = os.path.join(self.wine.system32_32bit(), "mscoree.dll")
        with open(self.shim_path, "rb") as f:
            self.shim_original = f.read()
        self.scratch = "C:\\e2e"
        os.makedirs(self.wine.unix_path(self.scratch), exist_ok=True)

    # ---- Windows-side helpers ---------------------------------------------------------

    def wintool(self, *commands, env=None):
        """Runs wintool over the given commands (lists of arguments); one
        output line per command."""
        self._script_seq += 1
        script = os.path.join(self.session.log_dir,
                              f"wintool-{self.arch}-{self._script_seq:05d}.txt")
        with open(script, "w", encoding="latin-1", newline="\n") as f:
            for c in commands:
                f.write("\t".join(c) + "\n")
        rc, out, err = self.wine.run([self.m["wintool"], "--script", self.wine.win_path(script)],
                                     timeout=60, env=env)
        lines = [line for line in out.splitlines() if line.strip()]
        if rc != 0 or len(lines) != len(commands):
            raise WineError(f"wintool failed ({rc}): {out!r} {err[-300:]!r}")
        return lines

    def product_state(self):
        """(file present, value present, uninstall entry present)."""
        file_present = os.path.exists(
            self.wine.unix_path(self.local_appdata + "\\" + X.PRODUCT_FILE))
        uninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + X.PRODUCT_CODE
        lines = self.wintool(["get", "0", "HKCU", X.PRODUCT_KEY, X.PRODUCT_VALUE],
                             ["keyexists", "64", "HKLM", uninstall],
                             ["keyexists", "32", "HKLM", uninstall])
        return file_present, lines[0].startswith("ok"), "yes" in lines[1:]

    def reset(self):
        """Puts the prefix back as set-up left it: no program running, the
        sample product not installed, the temporary folder empty, no maker
        or framework keys, the user's TEMP and TMP as they were, Wine's own
        runtime shim."""
        w = self.wine
        # An installer that the last scenario started is let finish: killed
        # half-way, it would leave the product registered without its files,
        # and the next installation would find nothing to do.
        w.wait_idle(30)
        w.kill_user_processes()
        if any(self.product_state()):
            w.run(["msiexec", "/x", X.PRODUCT_CODE, "/qn"], timeout=90)
            w.wait_idle(60)
            w.kill_user_processes()
            if any(self.product_state()):
                raise WineError("the sample product cannot be uninstalled")
        shutil.rmtree(w.unix_path(self.local_appdata + "\\Brannex"), ignore_errors=True)

        commands = [["deltree", "0", "HKCU", X.MAKER_KEY]]
        for view in ("32", "64"):
            commands += [["deltree", view, "HKLM", X.MAKER_KEY],
                         ["deltree", view, "HKLM", X.NDP_ROOT]]
        for name, original in self.env_originals.items():
            if original is None:
                commands.append(["delvalue", "0", "HKCU", "Environment", name])
            else:
                commands.append(["set", "0", "HKCU", "Environment", name, str(original[0]),
                                 original[1].hex() or "-"])
        self.wintool(*commands)

        _empty_folder(self.default_temp_unix)
        scratch = w.unix_path(self.scratch)
        shutil.rmtree(scratch, ignore_errors=True)
        os.makedirs(scratch)
        with open(self.shim_path, "rb") as f:
            if f.read() != self.shim_original:
                with open(self.shim_path, "wb") as g:
                    g.write(self.shim_original)


def _empty_folder(path):
    os.makedirs(path, exist_ok=True)
    for entry in os.listdir(path):
        full = os.path.join(path, entry)
        if os.path.isdir(full) and not os.path.islink(full):
            shutil.rmtree(full, ignore_errors=True)
        else:
            try:
                os.chmod(full, 0o644)
                os.remove(full)
            except OSError:
                pass


def _hex_text(h):
    return bytes.fromhex("" if h == "-" else h).decode("cp1252")


def _parse_get(line):
    """(type, bytes) from a wintool "get" line, or None."""
    parts = line.split()
    if parts[0] != "ok":
        return None
    return int(parts[1]), bytes.fromhex("" if parts[2] == "-" else parts[2])


# ---- A running bootstrapper ------------------------------------------------------------------


class BootRun:
    def __init__(self, t, proc, image, out, err):
        self.t = t
        self.proc = proc
        self.image = image
        self.out = out
        self.err = err
        self.exit_code = None

    def _uidriver(self, args, timeout):
        return self.t.state.wine.run([self.t.m["uidriver"]] + args + ["--exe", self.image],
                                     timeout=timeout + 15, tag="uidriver")

    def find_dialog(self, timeout=0.0):
        """The program's dialog, or None when none shows within `timeout`."""
        rc, out, _ = self._uidriver(["wait", "--timeout", str(timeout)], timeout)
        return _parse_dialog(out)

    def dialog(self, timeout=20):
        """Waits for the program's dialog; Fail when none appears."""
        deadline = time.monotonic() + timeout
        while True:
            d = self.find_dialog(1)
            if d:
                self.t.log(f"shown: {d!r}")
                return d
            if self.proc.poll() is not None:
                d = self.find_dialog(0)
                if d:
                    return d
                raise Fail(f"no dialog: the program ended with exit code {self.proc.returncode}")
            if time.monotonic() >= deadline:
                raise Fail(f"no dialog within {timeout} s")

    def click(self, button):
        rc, out, _ = self._uidriver(["click", button, "--timeout", "5"], 5)
        self.t.log(f"pressed {button!r}: {rc}")
        if rc == 1:
            raise Fail(f"no dialog to press {button!r} on")
        if rc == 2:
            raise Fail(f"no button {button!r} on the {_parse_dialog(out)!r}")
        if rc != 0:
            raise Fail(f"uidriver click failed ({rc})")

    def answer(self, button, caption=None, text=None, buttons=None, timeout=20):
        """Waits for a dialog, checks what it says and presses `button`."""
        d = self.dialog(timeout)
        if caption is not None:
            self.t.eq(d.caption, caption, "dialog caption")
        if text is not None:
            self.t.eq(d.text, text, "dialog text")
        if buttons is not None:
            self.t.eq(d.buttons, buttons, "dialog buttons")
        self.click(button)
        # The box must be gone before the next one is looked for.
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            nxt = self.find_dialog(0)
            if nxt is None or nxt.pid != d.pid or nxt.text != d.text or nxt.caption != d.caption:
                break
            time.sleep(0.1)
        return d

    def wait(self, timeout=30):
        """Waits for the program to end and returns its exit code. A program
        that still runs is a failure: a dialog it shows is named, then it is
        killed."""
        deadline = time.monotonic() + timeout
        next_look = time.monotonic() + 2
        while self.proc.poll() is None:
            now = time.monotonic()
            if now >= next_look:
                d = self.find_dialog(0)
                if d:
                    self.kill()
                    raise Fail(f"unexpected {d!r}")
                next_look = now + 1
            if now >= deadline:
                self.kill()
                raise Fail(f"the program still ran after {timeout} s")
            time.sleep(0.1)
        self.exit_code = self.proc.returncode
        self.t.log(f"ended with exit code {self.exit_code}")
        return self.exit_code

    def kill(self):
        self.t.state.wine.kill_user_processes()
        try:
            self.proc.kill()
            self.proc.wait(10)
        except (OSError, subprocess.TimeoutExpired):
            pass


# ---- The scenario's helpers -----------------------------------------------------------------


class Scenario:
    """What a scenario works with; one object per scenario, on a reset
    prefix."""

    def __init__(self, session, state, name, log):
        self.session = session
        self.state = state
        self.m = session.m
        self.name = name
        self._log = log
        self.framework = False
        self.env = {}
        self.temp = state.default_temp  # as the program will see it, with backslash
        self.scratch = state.scratch

    # ---- expectations -------------------------------------------------------------

    def fail(self, why):
        raise Fail(why)

    def check(self, condition, why):
        if not condition:
            raise Fail(why)

    def eq(self, actual, expected, what):
        if actual == expected:
            return
        if isinstance(actual, bytes) and isinstance(expected, bytes) and \
                max(len(actual), len(expected)) > 64:
            at = next((i for i, (a, b) in enumerate(zip(actual, expected)) if a != b),
                      min(len(actual), len(expected)))
            raise Fail(f"{what}: got {len(actual)} bytes, expected {len(expected)}; "
                       f"first difference at offset {at}")
        raise Fail(f"{what}: got {_short(actual)}, expected {_short(expected)}")

    def log(self, text):
        self._log(text)

    # ---- another prefix -------------------------------------------------------------

    def in_prefix(self, arch):
        """A Scenario on a (reset) prefix of another architecture."""
        state = self.session.prefix_for(arch)
        state.reset()
        return Scenario(self.session, state, self.name, self._log)

    @property
    def arch(self):
        return self.state.arch

    # ---- files -----------------------------------------------------------------------

    def unix(self, win_path):
        return self.state.wine.unix_path(win_path)

    def read_file(self, win_path):
        try:
            with open(self.unix(win_path), "rb") as f:
                return f.read()
        except FileNotFoundError:
            return None

    def write_file(self, win_path, data):
        path = self.unix(win_path)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)

    def exists(self, win_path):
        return os.path.exists(self.unix(win_path))

    def mkdir(self, win_path):
        os.makedirs(self.unix(win_path), exist_ok=True)

    def listdir(self, win_path):
        try:
            return sorted(os.listdir(self.unix(win_path)))
        except FileNotFoundError:
            return None

    def temp_file(self, name):
        return self.read_file(self.temp + name)

    def payload(self, key):
        with open(self.m[key], "rb") as f:
            return f.read()

    def copy_program(self, unix_source, win_dest):
        path = self.unix(win_dest)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        shutil.copyfile(unix_source, path)
        return win_dest

    # ---- registry ----------------------------------------------------------------------

    def reg_get(self, view, root, key, name):
        """(type, bytes) of a value, or None when the key or value is missing.
        view: 32, 64 or 0 (a 32-bit program's own)."""
        return _parse_get(self.state.wintool(["get", str(view), root, key, name])[0])

    def reg_key_exists(self, view, root, key):
        return self.state.wintool(["keyexists", str(view), root, key])[0] == "yes"

    def reg_set(self, view, root, key, name, reg_type, data):
        if isinstance(data, str):
            data = data.encode("cp1252") + b"\0"
        elif isinstance(data, int):
            data = data.to_bytes(4, "little")
        line = self.state.wintool(["set", str(view), root, key, name, str(reg_type),
                                   data.hex() or "-"])[0]
        self.check(line == "ok", f"cannot set {root}\\{key}\\{name}: {line}")

    def sysmsg(self, code):
        line = self.state.wintool(["sysmsg", str(code)])[0]
        return "" if line == "none" else _hex_text(line.split()[1])

    # ---- the machine's state ------------------------------------------------------------

    def set_temp(self, folder):
        """TEMP and TMP of the user, as Wine takes them for a new process."""
        data = folder.encode("cp1252").hex() + "00"
        self.state.wintool(["set", "0", "HKCU", "Environment", "TEMP", "1", data],
                           ["set", "0", "HKCU", "Environment", "TMP", "1", data])
        self.temp = folder if folder.endswith("\\") else folder + "\\"

    def set_framework_keys(self, install=1, version="4.0.30319", view=32):
        """The framework's setup key; install/version None leaves the value
        out; an int is stored as REG_DWORD, a str as REG_SZ."""
        commands = []
        for name, value in (("Install", install), ("Version", version)):
            if value is None:
                continue
            if isinstance(value, int):
                reg_type, data = X.REG_DWORD, value.to_bytes(4, "little")
            else:
                reg_type, data = X.REG_SZ, value.encode("cp1252") + b"\0"
            commands.append(["set", str(view), "HKLM", X.NDP_KEY, name, str(reg_type), data.hex()])
        lines = self.state.wintool(*commands)
        self.check(all(line == "ok" for line in lines),
                   f"cannot set the framework keys: {lines}")

    def install_shim(self):
        shutil.copyfile(self.m["mscoree_shim"], self.state.shim_path)
        self.framework = True

    def framework_present(self, version="4.0.30319"):
        """The framework as the program detects it: its keys in the 32-bit
        view and a runtime shim that answers for v4.0.30319."""
        self.set_framework_keys(install=1, version=version)
        self.install_shim()

    # ---- the program ----------------------------------------------------------------------

    def start_boot(self, args=(), exe=None, env=None, dll_overrides=None, cwd=None):
        """Starts the bootstrapper (the product, or `exe`: a Unix path or a
        C: path) with the scenario's environment. The DLL overrides are
        Wine's defaults for the tests (with the stand-in shim preferred once
        it is installed) unless given; the current folder is the log folder
        unless given (a Unix path)."""
        exe = exe or self.m["product"]
        run_env = dict(self.env)
        run_env.update(env or {})
        if dll_overrides is None:
            dll_overrides = FRAMEWORK_DLL_OVERRIDES if self.framework else BASE_DLL_OVERRIDES
        image = exe.replace("\\", "/").rsplit("/", 1)[-1]
        proc, out, err = self.state.wine.start([exe] + list(args), env=run_env,
                                               dll_overrides=dll_overrides,
                                               cwd=cwd or self.session.log_dir, tag="boot")
        self.log(f"started {exe} {' '.join(args)}")
        return BootRun(self, proc, image, out, err)

    def run_boot(self, args=(), exe=None, env=None, timeout=30):
        """Runs the bootstrapper to its end, expecting no dialog; returns the
        exit code."""
        return self.start_boot(args, exe, env).wait(timeout)

    def wait_idle(self, timeout=60):
        """Waits until everything that the program started has ended (the
        Windows Installer, above all)."""
        self.check(self.state.wine.wait_idle(timeout),
                   f"programs still running after {timeout} s: {self.state.wine.user_processes()}")

    # ---- what the program left ------------------------------------------------------------

    def expect_installed(self):
        self.wait_idle()
        file_present, value_present, _ = self.state.product_state()
        self.check(file_present, "the product's file was not installed")
        self.check(value_present, "the product's registry value was not installed")
        data = self.read_file(self.state.local_appdata + "\\" + X.PRODUCT_FILE)
        with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..",
                               "payloads", "Lumenta.txt"), "rb") as f:
            self.eq(data, f.read(), "the installed file")

    def expect_not_installed(self):
        self.wait_idle()
        file_present, value_present, _ = self.state.product_state()
        self.check(not file_present and not value_present, "the product was installed")

    def standin_cmdline(self, folder=None):
        """The command line that the stand-in framework installer recorded
        in `folder` (default: the temporary folder), or None."""
        data = self.read_file((folder or self.temp) + X.INSTALLER_NAME + ".cmdline.txt")
        return None if data is None else data.decode("cp1252")

    def standin_runs(self, folder=None):
        data = self.read_file((folder or self.temp) + X.INSTALLER_NAME + ".runs.txt")
        return 0 if data is None else data.count(b"run")

    def expect_package_written(self):
        self.eq(self.temp_file(X.PACKAGE_NAME), self.payload("package_msi"),
                f"{X.PACKAGE_NAME} in {self.temp}")

    def expect_no_package(self):
        data = self.temp_file(X.PACKAGE_NAME)
        self.check(data is None, f"{X.PACKAGE_NAME} was written ({len(data or b'')} bytes)")


def _short(value, limit=400):
    text = repr(value)
    if len(text) > limit:
        text = (text[:limit] + f"... ({len(value)} in all)" if hasattr(value, "__len__")
                else text[:limit])
    return text
