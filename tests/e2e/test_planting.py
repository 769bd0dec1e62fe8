"""DLL planting: DLLs under the names of system DLLs (msi, mscoree, version,
dwmapi) put beside the executable in a downloads folder, which is also the
current folder, and Wine told to prefer native DLLs over its own
("msi,mscoree,version,dwmapi=n,b"), as Windows would load a DLL found there.
A planted DLL leaves a marker file when it is loaded (tests/e2e/planting/);
the bootstrapper must leave none, on either path of the framework check and
under another file name.

The first scenarios prove the set-up: a program that loads the same names by
bare name does get every planted DLL, so a missing marker means the
bootstrapper did not load it, not that it could not have.

One limit of some Wines: Wine 8's own user32 imports version.dll (Windows'
user32 does not, and there a known DLL's dependencies come from the system
folder anyway; Wine 10's does not either). With native DLLs preferred, Wine
8's loader maps a planted version.dll into every program that imports user32
while it resolves the import table, before the program's first instruction.
No program can refuse that load, so version.dll is judged by what only the
program could cause: its marker may hold that load-time attach ("static", for
an import table: the bootstrapper's own imports none of these DLLs, which the
image checks hold) and calls made by a system DLL, never a load while the
program runs ("dynamic") nor a call from the program's own code.
test_load_time_version_dll_is_the_only_exception shows, on programs that
do nothing and that load it by name, that each Wine keeps to this, and that
the judgement catches a program that loads version.dll itself."""
import os

from lib import expected as X
from lib.session import BootRun

PLANTED = ("msi.dll", "mscoree.dll", "version.dll", "dwmapi.dll")
# Native first for the planted names; mshtml stays disabled (Wine would
# offer to download it) and winemenubuilder off, as in every scenario.
OVERRIDES = "msi,mscoree,version,dwmapi=n,b;mshtml=;winemenubuilder.exe=d"
APP_CAPTION = "LumentaSetupBoot"
# Mapped at load time by Wine's user32 (see above).
WINE_USER32_IMPORT = "version.dll"
SYSTEM_FOLDER = "c:\\windows\\"


def _programs(t):
    return t.m["planting"]


def _marker_folder(t):
    return t.scratch + "\\markers"


class _Planted:
    """The planted DLLs in the downloads folder, and their markers."""

    def __init__(self, t):
        self.t = t
        self.programs = _programs(t)
        # In the scratch folder, which the reset between scenarios empties.
        self.folder = t.scratch + "\\Downloads"
        self.unix_folder = t.unix(self.folder)
        os.makedirs(self.unix_folder, exist_ok=True)
        t.mkdir(_marker_folder(t))
        self._remove_default_markers()
        for name in PLANTED:
            t.copy_program(self.programs["dlls"][name], self.folder + "\\" + name)

    def _default_markers(self):
        # Where a planted DLL writes when LUMENTA_PLANT_MARKERS does not reach it.
        return [self.t.unix("C:\\planted-" + name + ".txt") for name in PLANTED]

    def _remove_default_markers(self):
        for path in self._default_markers():
            if os.path.exists(path):
                os.remove(path)

    def clear_markers(self):
        self._remove_default_markers()
        for name in PLANTED:
            path = self.t.unix(_marker_folder(self.t) + "\\planted-" + name + ".txt")
            if os.path.exists(path):
                os.remove(path)

    def markers(self):
        """{dll name: marker text} of every planted DLL that left a marker."""
        found = {}
        for name in PLANTED:
            data = self.t.read_file(_marker_folder(self.t) + "\\planted-" + name + ".txt")
            if data is not None:
                found[name] = data.decode("cp1252", "replace")
        for name, path in zip(PLANTED, self._default_markers()):
            if os.path.exists(path):
                with open(path, "rb") as f:
                    found[name] = found.get(name, "") + f.read().decode("cp1252", "replace")
        return found

    def expect_no_marker(self):
        """No planted DLL did anything for the program: no marker at all,
        except version.dll's load-time attach and calls from system DLLs."""
        found = self.markers()
        bad = _used(found)
        self.t.check(not bad, "planted DLLs were used: " +
                     "; ".join(f"{n}: {lines!r}" for n, lines in bad.items()))
        if WINE_USER32_IMPORT in found:
            self.t.log(f"{WINE_USER32_IMPORT} (Wine's user32 import): "
                       f"{found[WINE_USER32_IMPORT]!r}")

    def start(self, exe_name, args=(), env=None):
        """Starts `exe_name` from the downloads folder, which is also its
        current folder, with native DLLs preferred."""
        run_env = {"LUMENTA_PLANT_MARKERS": _marker_folder(self.t)}
        run_env.update(env or {})
        exe = self.folder + "\\" + exe_name
        proc, out, err = self.t.state.wine.start([exe] + list(args), env=run_env,
                                                 dll_overrides=OVERRIDES,
                                                 cwd=self.unix_folder, tag="planted")
        self.t.log(f"started {exe} {' '.join(args)} with {OVERRIDES}")
        return BootRun(self.t, proc, exe_name, out, err)

    def put_bootstrapper(self, exe_name):
        self.t.copy_program(self.t.m["product"], self.folder + "\\" + exe_name)


def _used(found):
    """{dll name: marker lines} of what the program's run did with planted
    DLLs, from {dll name: marker text}: every line, but for version.dll
    neither the load-time attach nor the calls of system DLLs."""
    bad = {}
    for name, text in found.items():
        lines = [line for line in text.splitlines() if line.strip()]
        if name == WINE_USER32_IMPORT:
            lines = [line for line in lines
                     if not ((line.startswith("attach ") and line.endswith(" load=static")) or
                             line.lower().rsplit(" caller=", 1)[-1].startswith(SYSTEM_FOLDER))]
        if lines:
            bad[name] = lines
    return bad


def _read(path):
    with open(path, "rb") as f:
        return f.read().decode("utf-8", "replace")


# ---- The set-up can catch a planted DLL ------------------------------------------------------


def test_bare_name_load_takes_planted_dlls(t):
    p = _Planted(t)
    t.copy_program(p.programs["loadbyname"], p.folder + "\\loadbyname.exe")
    run = p.start("loadbyname.exe", PLANTED)
    t.eq(run.wait(), 0, "exit code of loadbyname")
    lines = _read(run.out).splitlines()
    t.log("loadbyname: " + " | ".join(lines))
    for name in PLANTED:
        expected = f"{name} loaded {p.folder}\\{name}"
        t.check(any(line.lower() == expected.lower() for line in lines),
                f"{name} was not loaded from the downloads folder: {lines!r}")
    markers = p.markers()
    for name in PLANTED:
        t.check(name in markers, f"{name} left no marker")
        marker = f"attach {name} process={p.folder}\\loadbyname.exe"
        t.check(marker.lower() in markers[name].lower(),
                f"{name}'s marker does not name loadbyname: {markers[name]!r}")


def test_restricted_search_skips_planted_dlls(t):
    # The bootstrapper's own defence, alone: with the search limited to the
    # system folder, the same bare-name loads take the system's DLLs.
    p = _Planted(t)
    t.copy_program(p.programs["loadbyname"], p.folder + "\\loadbyname.exe")
    run = p.start("loadbyname.exe", ("--restrict",) + PLANTED)
    t.eq(run.wait(), 0, "exit code of loadbyname")
    lines = _read(run.out).splitlines()
    t.log("loadbyname --restrict: " + " | ".join(lines))
    for line in lines:
        t.check(p.folder.lower() not in line.lower(), f"loaded from the downloads folder: {line}")
    # loadbyname does not import user32: here not even version.dll may appear.
    t.eq(p.markers(), {}, "markers")


def test_load_time_version_dll_is_the_only_exception(t):
    # A program that imports user32 and runs no code of its own: the other
    # three are not in the process when its code starts; version.dll is not
    # either (Windows, Wine 10), or it is the planted one, which Wine 8's
    # user32 brought in for its import table, and its only trace is that
    # load-time attach, which the judgement lets pass.
    p = _Planted(t)
    t.copy_program(p.programs["atentry"], p.folder + "\\atentry.exe")
    run = p.start("atentry.exe", PLANTED)
    t.eq(run.wait(), 0, "exit code of atentry")
    lines = [line.lower() for line in _read(run.out).splitlines()]
    t.log("atentry: " + " | ".join(lines))
    mapped = f"{WINE_USER32_IMPORT} {p.folder}\\{WINE_USER32_IMPORT}".lower()
    t.eq([line for line in lines if not line.startswith(WINE_USER32_IMPORT + " ")],
         [f"{name} none" for name in PLANTED if name != WINE_USER32_IMPORT],
         "DLLs other than version.dll loaded when the program's code starts")
    t.check(f"{WINE_USER32_IMPORT} none" in lines or mapped in lines,
            f"version.dll at the program's start: {lines!r}")
    markers = p.markers()
    t.eq(sorted(markers), [WINE_USER32_IMPORT] if mapped in lines else [],
         "planted DLLs with a marker")
    if markers:
        t.eq([line.split(" process=")[0] + " " + line.rsplit(" ", 1)[-1]
              for line in markers[WINE_USER32_IMPORT].splitlines()],
             [f"attach {WINE_USER32_IMPORT} load=static"], "version.dll's marker")
    t.eq(_used(markers), {}, "what the judgement finds used")
    # The same judgement on a program whose own code loads version.dll by
    # name (and the other three): all four are found used.
    p.clear_markers()
    t.copy_program(p.programs["loadbyname"], p.folder + "\\loadbyname.exe")
    t.eq(p.start("loadbyname.exe", PLANTED).wait(), 0, "exit code of loadbyname")
    used = _used(p.markers())
    t.eq(sorted(used), sorted(PLANTED), "planted DLLs that the judgement finds used")
    t.check(any(line.endswith(" load=dynamic") for line in used[WINE_USER32_IMPORT]),
            f"version.dll's load by name: {used[WINE_USER32_IMPORT]!r}")


# ---- The bootstrapper loads none of them -------------------------------------------------------


def _framework_missing(t, exe_name, caption):
    # The framework's keys are there, the runtime is not (Wine's own shim
    # finds none): the shim is asked, and only a planted one would answer
    # yes and keep the question away.
    p = _Planted(t)
    p.put_bootstrapper(exe_name)
    t.set_framework_keys()
    run = p.start(exe_name)
    run.answer("&No", caption=caption, text=X.QUESTION_TEXT, buttons=X.QUESTION_BUTTONS)
    t.eq(run.wait(), 0, "exit code")
    t.expect_no_package()
    p.expect_no_marker()


def _framework_present(t, exe_name):
    # The stand-in shim in the 32-bit system folder answers for the runtime;
    # its log shows that it, and not the planted one, was asked.
    p = _Planted(t)
    p.put_bootstrapper(exe_name)
    t.framework_present()
    log = t.scratch + "\\shim.log"
    run = p.start(exe_name, env={"LUMENTA_SHIM_LOG": log})
    t.eq(run.wait(), 0, "exit code")
    t.expect_package_written()
    calls = (t.read_file(log) or b"").decode().splitlines()
    t.check(len(calls) == 1 and calls[0].startswith("GetRequestedRuntimeInfo "),
            f"the system folder's runtime shim was not asked: {calls!r}")
    t.expect_installed()
    p.expect_no_marker()


def test_framework_missing_loads_no_planted_dll(t):
    _framework_missing(t, "LumentaSetupBoot.exe", APP_CAPTION)


def test_framework_present_loads_no_planted_dll(t):
    _framework_present(t, "LumentaSetupBoot.exe")


def test_renamed_setup_framework_missing_loads_no_planted_dll(t):
    _framework_missing(t, "setup.exe", "setup")


def test_renamed_setup_framework_present_loads_no_planted_dll(t):
    _framework_present(t, "setup.exe")
