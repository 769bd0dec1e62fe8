"""The product package launch, on a computer with the framework: no dialog,
the package written to the temporary folder and opened by the shell, which
starts the Windows Installer on it."""
from lib import expected as X


def test_exit_code_without_arguments(t):
    t.framework_present()
    t.eq(t.run_boot(), 0, "exit code")
    t.expect_package_written()


def test_exit_code_with_arguments(t):
    # The command line is ignored: arguments, switches and a file name that
    # names nothing change neither the exit code nor the work.
    t.framework_present()
    t.eq(t.run_boot(["/quiet", "-x", "--help", "C:\\nothing\\there.msi"]), 0, "exit code")
    t.expect_package_written()
    t.expect_installed()


def test_package_equals_payload(t):
    t.framework_present()
    t.eq(t.run_boot(), 0, "exit code")
    t.wait_idle()
    # Exactly one file in the temporary folder, and it stays after the run.
    t.eq(t.listdir(t.temp), [X.PACKAGE_NAME], "files in the temporary folder")
    t.expect_package_written()
    t.check(t.standin_cmdline() is None, "the framework installer was run")


def test_windows_installer_installs_product(t):
    t.framework_present()
    t.expect_not_installed()
    t.eq(t.run_boot(), 0, "exit code")
    t.expect_installed()


def test_old_package_replaced(t):
    # A bigger file of another content, left by an earlier run: replaced by
    # the payload, not appended to or kept.
    t.framework_present()
    old = b"an old package of another product\r\n" * 2000
    t.write_file(t.temp + X.PACKAGE_NAME, old)
    t.eq(t.run_boot(), 0, "exit code")
    t.expect_package_written()
    t.expect_installed()


def test_second_run_replaces_package(t):
    t.framework_present()
    t.eq(t.run_boot(), 0, "first exit code")
    t.expect_installed()
    t.write_file(t.temp + X.PACKAGE_NAME, b"truncated")
    t.eq(t.run_boot(), 0, "second exit code")
    t.wait_idle()
    t.expect_package_written()
    t.expect_installed()


def test_temp_without_trailing_backslash(t):
    t.framework_present()
    folder = t.scratch + "\\tmp no slash"
    t.mkdir(folder)
    t.set_temp(folder)
    t.eq(t.run_boot(), 0, "exit code")
    t.expect_installed()  # the installer uses the folder too: let it finish
    # One backslash between folder and name: the package is in the folder,
    # not beside it under a joined name.
    t.expect_package_written()
    t.eq(t.listdir(t.scratch), ["tmp no slash"], "entries beside the folder")
    t.eq(t.listdir(folder), [X.PACKAGE_NAME], "files in the folder")


def test_temp_with_trailing_backslash(t):
    t.framework_present()
    folder = t.scratch + "\\tmp slash\\"
    t.mkdir(folder)
    t.set_temp(folder)
    t.eq(t.run_boot(), 0, "exit code")
    t.expect_installed()
    t.eq(t.listdir(folder), [X.PACKAGE_NAME], "files in the folder")
    t.expect_package_written()


def test_temp_folder_missing(t):
    # The package cannot be written: one error box that names the path,
    # nothing opened, exit code 0.
    t.framework_present()
    folder = t.scratch + "\\missing"
    t.set_temp(folder)
    run = t.start_boot()
    run.answer("OK", caption=X.ERROR_CAPTION,
               text=X.write_failed(folder + "\\" + X.PACKAGE_NAME), buttons=X.ERROR_BUTTONS)
    t.eq(run.wait(), 0, "exit code")
    t.check(not t.exists(folder), "the missing folder was created")
    t.expect_not_installed()
