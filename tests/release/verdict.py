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


def stop_and_remove(work, source):
    """A folder with Wine prefixes in it, their servers stopped first."""
    subprocess.run([os.path.join(source, "scripts", "wine-stop"), "--under", work])
    shutil.rmtree(work, ignore_errors=True)


def fresh_work_folder(a):
    """The test's work folder, made anew, and removed again when everything passes."""
    stop_and_remove(a.work, a.source)
    os.makedirs(a.work)
    work_to_clear.update(work=a.work, source=a.source)
    return a.work


def check(ok, what, detail=""):
    counts["passed" if ok else "failed"] += 1
    print(f"PASS: {what}" if ok else f"FAIL: {what}" + (f"\n      {detail}" if detail else ""))
    return ok


def closing():
    """Prints the closing line; the exit code: 0 when something was checked and nothing failed."""
    print(f"{counts['passed']} passed, {counts['failed']} failed")
    ok = counts["failed"] == 0 and counts["passed"] > 0
    if ok and work_to_clear:
        stop_and_remove(work_to_clear["work"], work_to_clear["source"])
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
