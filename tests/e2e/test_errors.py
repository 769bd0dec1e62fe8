"""The error report, as the user sees it when the product package cannot be
written: one box, caption "Error", the path in the text, one OK button;
then nothing is opened and the exit code is still 0."""
import os
import subprocess
import time

from lib import expected as X


def _expect_write_error(t, run, path):
    d = run.answer("OK", caption=X.ERROR_CAPTION, text=X.write_failed(path),
                   buttons=X.ERROR_BUTTONS)
    t.check(d.icon, "the error box shows no icon")
    return d


def test_package_write_error_box_missing_folder(t):
    t.framework_present()
    folder = t.scratch + "\\no such folder"
    t.set_temp(folder)
    run = t.start_boot()
    _expect_write_error(t, run, folder + "\\" + X.PACKAGE_NAME)
    # Exactly one box: after OK the program ends without another.
    t.eq(run.wait(), 0, "exit code")
    t.expect_not_installed()


def test_package_write_error_box_locked_package(t):
    # Another program holds the package file open without sharing: the old
    # file can be neither deleted nor replaced. The box names the path, the
    # file that is there is not opened (it is not this product's package).
    t.framework_present()
    package = t.temp + X.PACKAGE_NAME
    ready = t.scratch + "\\lock.ready"
    locker, _, _ = t.state.wine.start([t.m["filelock"], package, ready, "60"], tag="filelock")
    try:
        deadline = time.monotonic() + 15
        while not t.exists(ready):
            t.check(locker.poll() is None, f"the locker ended ({locker.returncode})")
            t.check(time.monotonic() < deadline, "the locker did not take the file")
            time.sleep(0.1)
        run = t.start_boot()
        _expect_write_error(t, run, package)
        t.eq(run.wait(), 0, "exit code")
    finally:
        # Deleting the ready file releases the lock.
        try:
            os.remove(t.unix(ready))
        except OSError:
            pass
        try:
            locker.wait(10)
        except subprocess.TimeoutExpired:
            locker.kill()
    t.eq(locker.returncode, 0, "exit code of the locker")
    t.expect_not_installed()
    t.eq(t.temp_file(X.PACKAGE_NAME), b"", "the locked file (left as the locker made it)")
