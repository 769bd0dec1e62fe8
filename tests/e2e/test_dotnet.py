"""The .NET Framework prerequisite: detection, the question, the installer
run and the meaning of its exit code, as the user sees them.

"Framework present" is the framework's setup key in the 32-bit view and a
stand-in runtime shim in the 32-bit system folder; "missing" is a new
prefix (no key, Wine's own shim, which finds no runtime)."""
import time

from lib import expected as X

APP_CAPTION = "LumentaSetupBoot"


def _question(t, run, caption=APP_CAPTION, button="&Yes"):
    d = run.answer(button, caption=caption, text=X.QUESTION_TEXT, buttons=X.QUESTION_BUTTONS)
    t.check(d.icon, "the question shows no icon")
    return d


def _expect_installer_ran(t, exit_code):
    t.eq(t.temp_file(X.INSTALLER_NAME), t.payload("dotnet_setup"),
         f"{X.INSTALLER_NAME} in the temporary folder")
    cmdline = t.standin_cmdline()
    t.check(cmdline is not None, "the framework installer did not run")
    t.eq(t.standin_runs(), 1, f"runs of the framework installer (exit code {exit_code})")
    program = t.temp + X.INSTALLER_NAME
    t.check(cmdline in (f'"{program}" {X.INSTALLER_PARAMETERS}',
                        f"{program} {X.INSTALLER_PARAMETERS}"),
            f"the framework installer's command line: {cmdline!r}")


def _run_installer(t, exit_code, **env):
    env = {"LUMENTA_STANDIN_EXIT": str(exit_code), **env}
    run = t.start_boot(env=env)
    _question(t, run)
    return run


# ---- Detection ------------------------------------------------------------------------


def test_present_no_dialog(t):
    t.framework_present()
    log = t.scratch + "\\shim.log"
    t.eq(t.run_boot(env={"LUMENTA_SHIM_LOG": log}), 0, "exit code")
    t.expect_package_written()
    t.check(t.temp_file(X.INSTALLER_NAME) is None, "the framework installer was written")
    calls = (t.read_file(log) or b"").decode().splitlines()
    # The runtime is asked for with the fixed arguments of the detection; the
    # other two entries are only looked up, never called.
    t.eq(calls, ["GetRequestedRuntimeInfo exe=(null) version=v4.0.30319 config=(null) "
                 "startup=6 info=0 dir_size=260 dir_len_in=0 ver_size=50 ver_len_in=50"],
         "calls of the runtime shim")
    t.expect_installed()


def _expect_question(t, **keys):
    t.set_framework_keys(**keys)
    t.install_shim()
    run = t.start_boot()
    _question(t, run, button="&No")
    t.eq(run.wait(), 0, "exit code")
    t.expect_no_package()


def test_missing_keys_asks(t):
    t.install_shim()
    run = t.start_boot()
    _question(t, run, button="&No")
    t.eq(run.wait(), 0, "exit code")


def test_install_as_text_asks(t):
    _expect_question(t, install="1")


def test_install_zero_asks(t):
    _expect_question(t, install=0)


def test_install_two_asks(t):
    _expect_question(t, install=2)


def test_version_below_asks(t):
    _expect_question(t, version="4.0.30318")


def test_version_with_letter_asks(t):
    _expect_question(t, version="v4.0.30319")


def test_version_missing_asks(t):
    _expect_question(t, version=None)


def test_version_higher_passes(t):
    t.framework_present(version="4.5.51209")
    t.eq(t.run_boot(), 0, "exit code")
    t.expect_package_written()


def test_keys_in_64bit_view_only_asks(t):
    # A 32-bit program reads the 32-bit view; the key of the 64-bit one is
    # not the framework that it would run on.
    t.set_framework_keys(view=64)
    t.install_shim()
    run = t.start_boot()
    _question(t, run, button="&No")
    t.eq(run.wait(), 0, "exit code")


def test_no_runtime_asks(t):
    # The keys alone are not enough: Wine's own shim finds no runtime.
    t.set_framework_keys()
    run = t.start_boot()
    _question(t, run, button="&No")
    t.eq(run.wait(), 0, "exit code")


def test_runtime_request_fails_asks(t):
    t.framework_present()
    run = t.start_boot(env={"LUMENTA_SHIM_HRESULT": "0x80131700"})
    _question(t, run, button="&No")
    t.eq(run.wait(), 0, "exit code")


# ---- The question ------------------------------------------------------------------------


def test_no_ends_without_package(t):
    run = t.start_boot()
    _question(t, run, button="&No")
    t.eq(run.wait(), 0, "exit code")
    t.expect_no_package()
    t.check(t.temp_file(X.INSTALLER_NAME) is None, "the framework installer was written")
    t.eq(t.listdir(t.temp), [], "files in the temporary folder")
    t.expect_not_installed()


def test_caption_follows_file_name(t):
    exe = t.copy_program(t.m["product"], t.scratch + "\\setup.exe")
    run = t.start_boot(exe=exe)
    _question(t, run, caption="setup", button="&No")
    t.eq(run.wait(), 0, "exit code")


# ---- The installer run ----------------------------------------------------------------------


def test_installer_success_launches_package(t):
    run = _run_installer(t, 0)
    t.eq(run.wait(), 0, "exit code")
    _expect_installer_ran(t, 0)
    t.expect_package_written()
    t.expect_installed()


def test_installer_is_waited_for(t):
    run = _run_installer(t, 0, LUMENTA_STANDIN_SLEEP_MS="3000")
    clicked = time.monotonic()
    t.eq(run.wait(), 0, "exit code")
    t.check(time.monotonic() - clicked >= 2.5, "the program did not wait for the installer")
    _expect_installer_ran(t, 0)
    t.expect_package_written()


def test_old_installer_file_replaced(t):
    t.write_file(t.temp + X.INSTALLER_NAME, b"MZ an old, bigger file" * 5000)
    run = _run_installer(t, 0)
    t.eq(run.wait(), 0, "exit code")
    _expect_installer_ran(t, 0)


def _ends_without_package(t, code):
    run = _run_installer(t, code)
    t.eq(run.wait(), 0, "exit code")
    _expect_installer_ran(t, code)
    t.expect_no_package()
    t.expect_not_installed()


def test_installer_cancelled_ends_without_package(t):
    _ends_without_package(t, 1602)


def _success_with_restart(t, code):
    run = _run_installer(t, code)
    t.eq(run.wait(), 0, "exit code")
    _expect_installer_ran(t, code)
    t.expect_package_written()
    t.expect_installed()


def test_installer_3010_counts_as_success(t):
    _success_with_restart(t, 3010)


def test_installer_1641_ends_without_package(t):
    # The framework is installed and the restart has begun: the run ends
    # there, with no package written or opened and no box after the question.
    _ends_without_package(t, 1641)


def _error_then_package(t, code, text):
    run = _run_installer(t, code)
    d = run.answer("OK", caption=X.ERROR_CAPTION, text=text, buttons=X.ERROR_BUTTONS)
    t.check(d.icon, "the error box shows no icon")
    t.eq(run.wait(), 0, "exit code")
    _expect_installer_ran(t, code)
    # The failure was reported; the package is launched all the same.
    t.expect_package_written()
    t.expect_installed()


def _common_text(t, code):
    return X.common_error_text(t.sysmsg(code), code, X.UNKNOWN_EXIT)


def test_installer_1603_unknown_error(t):
    _error_then_package(t, 1603, _common_text(t, 1603))


def test_installer_4100_fatal_error(t):
    _error_then_package(t, 4100, X.EXIT_TEXTS[4100])


def test_installer_8191_fatal_error(t):
    _error_then_package(t, 8191, X.EXIT_TEXTS[8191])


def test_installer_8192_reboot_required(t):
    _error_then_package(t, 8192, X.EXIT_TEXTS[8192])


def test_installer_4102_gap_unknown_error(t):
    _error_then_package(t, 4102, _common_text(t, 4102))


def test_installer_1_unknown_error(t):
    text = _common_text(t, 1)
    # Wine knows this code: the system's text comes first.
    t.check(text.startswith("Invalid function. (0x1)\n\n"), f"text for exit code 1: {text!r}")
    _error_then_package(t, 1, text)


def test_installer_not_writable(t):
    # The temporary folder is missing: the installer cannot be written, its
    # box names the path, and the sequence goes on to the package, whose
    # write fails in the same folder.
    folder = t.scratch + "\\absent"
    t.set_temp(folder)
    run = t.start_boot()
    _question(t, run)
    run.answer("OK", caption=X.ERROR_CAPTION,
               text=X.write_failed(folder + "\\" + X.INSTALLER_NAME), buttons=X.ERROR_BUTTONS)
    run.answer("OK", caption=X.ERROR_CAPTION,
               text=X.write_failed(folder + "\\" + X.PACKAGE_NAME), buttons=X.ERROR_BUTTONS)
    t.eq(run.wait(), 0, "exit code")
    t.check(not t.exists(folder), "the missing folder was created")
    t.expect_not_installed()
