"""The signed executable runs as the unsigned one does.

The image is the one that tests/image/check_signing.sh builds and signs with
a throwaway certificate (in build/sign, or the folder named by
LUMENTA_SIGN_BUILD_DIR). The scenario rebuilds it there, so that it holds
the current sources, or runs that script first when the folder is not set
up for signing; either way the signature must verify before the run. Signing appends the signature
and changes the header's checksum and certificate entry; the loader must not
mind, and the payloads must come out unchanged."""
import json
import os
import subprocess

from lib import expected as X
from lib.runner import REPO, timeout

SIGN_SCRIPT = os.path.join(REPO, "tests", "image", "check_signing.sh")


def _sign_build_dir():
    return os.path.abspath(os.environ.get("LUMENTA_SIGN_BUILD_DIR",
                                          os.path.join(REPO, "build", "sign")))


def _verify(t, exe, cert):
    if not (os.path.exists(exe) and os.path.exists(cert)):
        return False
    result = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", exe],
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, timeout=60, check=False)
    t.log(result.stdout.decode("utf-8", "replace")[-1500:])
    return result.returncode == 0


def _manifest(build_dir):
    """The build's manifest, or an empty one before the first configure."""
    try:
        with open(os.path.join(build_dir, "manifest.json"), encoding="utf-8") as f:
            return json.load(f)
    except FileNotFoundError:
        return {}


def _run(t, argv, limit):
    result = subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, timeout=limit, check=False)
    t.log(f"{' '.join(argv)}: exit code {result.returncode}\n" +
          result.stdout.decode("utf-8", "replace")[-3000:])
    return result.returncode


def _signed_image(t):
    """(signed exe, the package it holds), brought up to date with the
    sources: rebuilt (and so signed again) in its configured build folder,
    or made from nothing by check_signing.sh."""
    build_dir = _sign_build_dir()
    exe = os.path.join(build_dir, "LumentaSetupBoot.exe")
    cert = os.path.join(build_dir, "cert", "cert.pem")
    configured = os.path.exists(cert) and _manifest(build_dir).get("signed_with") == cert
    if not (configured and _run(t, ["cmake", "--build", build_dir, "-j2", "--target",
                                    "LumentaSetupBoot"], 300) == 0 and _verify(t, exe, cert)):
        t.eq(_run(t, [SIGN_SCRIPT, build_dir], 400), 0, "exit code of check_signing.sh")
        t.check(_verify(t, exe, cert), f"{exe}: the signature does not verify")
    with open(_manifest(build_dir)["package_msi"], "rb") as f:
        return exe, f.read()


@timeout(420)
def test_signed_image_installs_with_framework_present(t):
    exe, package = _signed_image(t)
    t.framework_present()
    t.eq(t.run_boot(exe=exe), 0, "exit code of the signed executable")
    t.eq(t.temp_file(X.PACKAGE_NAME), package, f"{X.PACKAGE_NAME} written by the signed executable")
    t.expect_installed()
