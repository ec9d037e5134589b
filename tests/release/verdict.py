"""What the release tests share: their arguments from ctest, a PASS or FAIL line per check,
and the closing line "N passed, N failed" with the exit code that goes with it."""
import argparse
import os
import shutil
import subprocess

counts = {"passed": 0, "failed": 0}
# The test's work folder, removed when everything passed (its Wine prefixes and packages take
# gigabytes); a failed run leaves it for a look.
work_to_clear = {}


def clear_on_success(work, source):
    work_to_clear.update(work=work, source=source)


def check(ok, what, detail=""):
    counts["passed" if ok else "failed"] += 1
    print(f"PASS: {what}" if ok else f"FAIL: {what}" + (f"\n      {detail}" if detail else ""))
    return ok


def closing():
    """Prints the closing line; the exit code: 0 when something was checked and nothing failed."""
    print(f"{counts['passed']} passed, {counts['failed']} failed")
    ok = counts["failed"] == 0 and counts["passed"] > 0
    if ok and work_to_clear:
        subprocess.run([os.path.join(work_to_clear["source"], "scripts", "wine-stop"), "--under", work_to_clear["work"]])
        shutil.rmtree(work_to_clear["work"], ignore_errors=True)
    return 0 if ok else 1


def release_test_arguments():
    """The source tree, the two build trees, the version and the test's own work folder, as
    ctest gives them (--source, --win32, --win64, --version, --work), the paths made absolute."""
    ap = argparse.ArgumentParser()
    for name in ("--source", "--win32", "--win64", "--version", "--work"):
        ap.add_argument(name, required=True)
    a = ap.parse_args()
    a.source, a.win32, a.win64, a.work = (os.path.abspath(p) for p in (a.source, a.win32, a.win64, a.work))
    return a
