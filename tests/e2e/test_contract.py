"""The platform seam's contract suite (tests/contract/), built against the
real API, run in the session's prefix: every case must pass. Its GoogleTest
report is kept as e2e/logs/contract-wine.json for the counts of tools/test,
which runs this scenario alone where 32-bit programs run only under
emulation (the limits are then those of lib/wine.py's SLOWDOWN)."""
import json
import os

from lib.runner import timeout

REPORT = "contract-wine.json"


@timeout(300)
def test_platform_seam(t):
    exe = os.path.join(t.session.build_dir, "contract", "lumenta_contract_tests.exe")
    t.check(os.path.exists(exe), f"{exe} is not built (LUMENTA_BUILD_TESTS=ON, target "
                                 "lumenta_contract_win)")
    report = os.path.join(t.session.log_dir, REPORT)
    if os.path.exists(report):
        os.remove(report)
    rc, out, err = t.state.wine.run(
        [exe, "--gtest_output=json:" + t.state.wine.win_path(report)],
        timeout=280, tag="contract")
    t.log(out)
    t.check(os.path.exists(report), f"no report from the suite (exit code {rc}): {err[-500:]!r}")
    with open(report) as f:
        d = json.load(f)
    failed = [f"{s['name']}.{c['name']}" for s in d.get("testsuites", [])
              for c in s.get("testsuite", []) if c.get("failures")]
    t.check(not failed, f"{len(failed)} of {d.get('tests')} cases failed: {', '.join(failed)}")
    t.eq(rc, 0, "the suite's exit code")
