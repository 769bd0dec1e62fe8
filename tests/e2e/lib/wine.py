"""Wine for the end-to-end tests, the bench and the demo: an X display, one
prefix with one persistent wineserver, and the processes that run in it.

Everything that Wine prints goes to files: Wine's background processes
inherit the output of the command that started them, and a pipe would stay
open (and a reader blocked) until the wineserver ends.
"""
import os
import shutil
import signal
import subprocess
import tempfile
import time

# Processes that Wine itself keeps running in a prefix; they are not the
# tests' and are not waited for.
SYSTEM_PROCESSES = {
    "services.exe", "winedevice.exe", "plugplay.exe", "svchost.exe", "rpcss.exe",
    "explorer.exe", "conhost.exe", "tabtip.exe", "wineboot.exe",
}

# Without mscoree and mshtml disabled, Wine offers to download its add-ons;
# winemenubuilder would write menu entries and file associations into the
# real home folder.
BASE_DLL_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe=d"
# The same with a runtime shim of the prefix's own (the stand-in in the
# 32-bit system folder) preferred to Wine's builtin one, which names no
# runtime without Mono.
FRAMEWORK_DLL_OVERRIDES = "mscoree=n;mshtml=;winemenubuilder.exe=d"


def _emulated():
    """Whether 32-bit x86 programs, Wine's loader among them, run under
    qemu-user (registered by tools/i386-mode where the kernel refuses them):
    an enabled entry takes them before the kernel's own loader would."""
    try:
        with open("/proc/sys/fs/binfmt_misc/qemu-i386") as f:
            return f.readline().strip() == "enabled"
    except OSError:
        return False


# Every time limit is set for a machine that runs 32-bit programs itself and
# multiplied by this. Under emulation a new win64 prefix takes about 4
# minutes on a quiet machine instead of 10-15 s, and more than 24 minutes
# (six times the 240 s of Prefix.create) was seen on a loaded one.
SLOWDOWN = 10 if _emulated() else 1


class WineError(Exception):
    pass


class Display:
    """An Xvfb server on a display number that it picks itself."""

    def __init__(self, log_dir):
        self.proc = None
        self.name = None
        self.log_dir = log_dir

    def start(self):
        read_fd, write_fd = os.pipe()
        log = open(os.path.join(self.log_dir, "xvfb.log"), "wb")
        try:
            self.proc = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_fd), "-nolisten", "tcp",
                 "-screen", "0", "1024x768x24"],
                stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                pass_fds=(write_fd,), start_new_session=True)
        finally:
            os.close(write_fd)
            log.close()
        number = b""
        deadline = time.monotonic() + 20
        os.set_blocking(read_fd, False)
        while time.monotonic() < deadline and not number.endswith(b"\n"):
            try:
                chunk = os.read(read_fd, 16)
                if not chunk:
                    break
                number += chunk
            except BlockingIOError:
                if self.proc.poll() is not None:
                    break
                time.sleep(0.05)
        os.close(read_fd)
        if not number.strip().isdigit():
            self.stop()
            raise WineError("Xvfb did not start (see xvfb.log)")
        self.name = ":" + number.strip().decode()
        return self.name

    def stop(self):
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(10)
        self.proc = None


class Prefix:
    """One Wine prefix, its persistent wineserver and its processes."""

    def __init__(self, path, display, log_dir, arch="win64", background=()):
        """`background`: image names (lower case) of programs of the caller's
        own that run for the prefix's whole life and, like Wine's services,
        are not waited for."""
        self.path = os.path.abspath(path)
        self.display = display
        self.log_dir = log_dir
        self.arch = arch
        self.background = SYSTEM_PROCESSES | set(background)
        self.server_started = False
        self._log_seq = 0

    # ---- environment and paths ----------------------------------------------------

    def env(self, extra=None, dll_overrides=None):
        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("LUMENTA_", "WINE")) and k not in ("TMP", "TEMP", "TMPDIR")}
        env.update({
            "WINEPREFIX": self.path,
            "WINEARCH": self.arch,
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": dll_overrides or BASE_DLL_OVERRIDES,
            "DISPLAY": self.display,
        })
        if extra:
            env.update(extra)
        return env

    @property
    def drive_c(self):
        return os.path.join(self.path, "drive_c")

    def unix_path(self, win_path):
        """The Unix path of a C: or Z: path (as Wine maps them by default)."""
        drive, rest = win_path[:2].upper(), win_path[2:].lstrip("\\/")
        parts = [p for p in rest.replace("\\", "/").split("/") if p]
        if drive == "C:":
            return os.path.join(self.drive_c, *parts)
        if drive == "Z:":
            return "/" + "/".join(parts)
        raise WineError(f"no Unix path for {win_path!r}")

    def win_path(self, unix_path):
        unix_path = os.path.abspath(unix_path)
        if unix_path.startswith(self.drive_c + os.sep):
            return "C:\\" + unix_path[len(self.drive_c) + 1:].replace("/", "\\")
        return "Z:" + unix_path.replace("/", "\\")

    def system32_32bit(self):
        """The Unix folder of the 32-bit system DLLs."""
        sub = "syswow64" if self.arch == "win64" else "system32"
        return os.path.join(self.drive_c, "windows", sub)

    # ---- lifetime -----------------------------------------------------------------

    def _log_files(self, tag):
        self._log_seq += 1
        base = os.path.join(self.log_dir, f"{self._log_seq:04d}-{tag}")
        return base + ".out", base + ".err"

    def create(self, timeout=240, idle_timeout=60):
        """Makes a new prefix and keeps its wineserver running."""
        if os.path.exists(self.path):
            shutil.rmtree(self.path)
        os.makedirs(self.path)
        self.start_server()
        rc, _, err = self.run(["wineboot", "-i"], timeout=timeout, tag="wineboot")
        if rc != 0:
            raise WineError(f"wineboot -i failed ({rc}): {err[-500:]}")
        if not self.wait_idle(idle_timeout):
            raise WineError("wineboot left processes running")

    def start_server(self):
        out, err = self._log_files("wineserver")
        with open(out, "wb") as o, open(err, "wb") as e:
            # wineserver -p forks into the background and returns at once.
            subprocess.run(["wineserver", "-p"], env=self.env(), stdin=subprocess.DEVNULL,
                           stdout=o, stderr=e, timeout=30 * SLOWDOWN, check=False)
        self.server_started = True

    def shutdown(self):
        """Ends every process of the prefix and its wineserver."""
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

    def remove(self):
        shutil.rmtree(self.path, ignore_errors=True)

    # ---- processes ---------------------------------------------------------------

    def start(self, argv, env=None, dll_overrides=None, cwd=None, tag="wine"):
        """Starts `wine argv...`; returns (Popen, stdout file, stderr file)."""
        out, err = self._log_files(tag)
        o, e = open(out, "wb"), open(err, "wb")
        try:
            proc = subprocess.Popen(["wine"] + list(argv), env=self.env(env, dll_overrides),
                                    cwd=cwd, stdin=subprocess.DEVNULL, stdout=o, stderr=e)
        finally:
            o.close()
            e.close()
        return proc, out, err

    def run(self, argv, timeout=60, env=None, dll_overrides=None, cwd=None, tag=None):
        """Runs a program to its end: (exit code, stdout text, stderr text).
        A program still running after `timeout` seconds (times SLOWDOWN) is
        killed, with every other user process of the prefix, and WineError is
        raised."""
        timeout *= SLOWDOWN
        if argv and argv[0] in ("wineboot", "wineserver", "regedit", "msiexec"):
            tag = tag or argv[0]
        else:
            tag = tag or os.path.splitext(os.path.basename(argv[0]))[0]
        proc, out, err = self.start(argv, env, dll_overrides, cwd, tag)
        try:
            rc = proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.kill_user_processes()
            proc.kill()
            proc.wait(10)
            raise WineError(f"{' '.join(argv)}: still running after {timeout} s; killed")
        return rc, _read(out), _read(err)

    def processes(self, include_server=False):
        """(pid, command line) of every process that runs in this prefix."""
        found = []
        needle = b"WINEPREFIX=" + self.path.encode() + b"\0"
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            pid = int(entry)
            if pid == os.getpid():
                continue
            try:
                with open(f"/proc/{pid}/environ", "rb") as f:
                    if needle not in f.read() + b"\0":
                        continue
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    cmd = f.read().replace(b"\0", b" ").decode("utf-8", "replace").strip()
            except OSError:
                continue
            if not cmd:
                continue
            if "wineserver" in cmd.split(" ")[0] and not include_server:
                continue
            found.append((pid, cmd))
        return found

    def user_processes(self):
        """The prefix's processes other than Wine's own background services
        and the wineserver."""
        result = []
        for pid, cmd in self.processes():
            image = cmd.split(" ")[0].replace("\\", "/").rsplit("/", 1)[-1].lower()
            if image in self.background:
                continue
            result.append((pid, cmd))
        return result

    def wait_idle(self, timeout, poll=0.2):
        """Waits until no user process runs in the prefix (the Windows
        Installer that the shell started, say). True when idle in time.
        `poll`: seconds between looks (each reads every process's
        environment in /proc).

        `wineserver -w` cannot serve here: with a persistent server it waits
        for the server itself, which does not end."""
        deadline = time.monotonic() + timeout * SLOWDOWN
        while True:
            if not self.user_processes():
                return True
            if time.monotonic() >= deadline:
                return False
            time.sleep(poll)

    def kill_user_processes(self):
        for pid, _ in self.user_processes():
            _kill(pid)
        deadline = time.monotonic() + 5
        while self.user_processes() and time.monotonic() < deadline:
            time.sleep(0.1)


def _kill(pid):
    try:
        os.kill(pid, signal.SIGKILL)
    except OSError:
        pass


def _read(path):
    with open(path, "rb") as f:
        return f.read().decode("utf-8", "replace")


def make_temp_root():
    return tempfile.mkdtemp(prefix="lumenta-e2e-")
