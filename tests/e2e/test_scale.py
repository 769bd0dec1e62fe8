"""A package as large as the payload bound allows (1 MiB under it, the
samples filling part of the rest): the executable that holds it starts, the
package is written to the temporary folder complete and equal byte for byte,
and the run ends with 0. The executable is built here, when the scenario
runs, not by the default build, and every GiB-sized file it made is removed
when it ends, passed or failed."""
import filecmp
import glob
import os
import subprocess
import time

from lib import expected as X
from lib.runner import timeout


def _remove(paths):
    for path in paths:
        try:
            os.remove(path)
        except FileNotFoundError:
            pass


@timeout(1200)
def test_package_at_the_payload_bound(t):
    build_dir = t.session.build_dir
    bound = t.m["payload_bound"]
    written = t.unix(t.temp + X.PACKAGE_NAME)
    made = [t.m["scale_msi"], t.m["scale_exe"], written]
    try:
        started = time.monotonic()
        build = subprocess.run(
            ["cmake", "--build", build_dir, "--target", t.m["scale_target"], "-j2"],
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
            timeout=900, check=False)
        t.log(build.stdout.decode("utf-8", "replace")[-2000:])
        t.log(f"build of the scale image: {time.monotonic() - started:.1f} s")
        t.eq(build.returncode, 0, f"build of {t.m['scale_target']}")
        size = os.path.getsize(t.m["scale_msi"])
        t.eq(size, bound - (1 << 20), "size of the generated package")
        t.check(os.path.getsize(t.m["scale_exe"]) > size, "the image holds the package")

        t.framework_present()
        # Not a package that the Windows Installer can open: the shell's open
        # fails or the installer shows its own error; only the file counts here.
        started = time.monotonic()
        run = t.start_boot(exe=t.m["scale_exe"])
        t.eq(run.wait(timeout=300), 0, "exit code")
        t.log(f"run of the scale image: {time.monotonic() - started:.1f} s")
        t.check(os.path.exists(written), "no package written")
        t.eq(os.path.getsize(written), size, "size of the written package")
        t.check(filecmp.cmp(written, t.m["scale_msi"], shallow=False),
                "the written package differs from the payload")
    finally:
        t.state.wine.kill_user_processes()
        # The resource compiler's output holds the package too.
        _remove(made + glob.glob(os.path.join(
            build_dir, "CMakeFiles", t.m["scale_target"] + ".dir", "**", "*.res"),
            recursive=True))
