"""A package of 300 MiB: written to the temporary folder complete and equal
byte for byte, and the run ends with 0. The executable that holds it is
built here, when the scenario runs, not by the default build."""
import filecmp
import os
import subprocess

from lib import expected as X
from lib.runner import timeout


@timeout(600)
def test_package_of_300_mib(t):
    build = subprocess.run(
        ["cmake", "--build", t.session.build_dir, "--target", t.m["scale_target"], "-j2"],
        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
        timeout=480, check=False)
    t.log(build.stdout.decode("utf-8", "replace")[-2000:])
    t.eq(build.returncode, 0, f"build of {t.m['scale_target']}")
    t.eq(os.path.getsize(t.m["scale_msi"]), 300 << 20, "size of the generated package")

    t.framework_present()
    # Not a package that the Windows Installer can open: the shell's open
    # fails or the installer shows its own error; only the file counts here.
    run = t.start_boot(exe=t.m["scale_exe"])
    t.eq(run.wait(timeout=180), 0, "exit code")
    written = t.unix(t.temp + X.PACKAGE_NAME)
    t.check(os.path.exists(written), "no package written")
    t.eq(os.path.getsize(written), 300 << 20, "size of the written package")
    t.check(filecmp.cmp(written, t.m["scale_msi"], shallow=False),
            "the written package differs from the payload")
    # Remove the 300 MiB at once rather than leave it to the next reset.
    t.state.wine.kill_user_processes()
    os.remove(written)
