"""The verdict of a release test: a PASS or FAIL line per check, and the closing line
"N passed, N failed" with the exit code that goes with it."""

counts = {"passed": 0, "failed": 0}


def check(ok, what, detail=""):
    counts["passed" if ok else "failed"] += 1
    print(f"PASS: {what}" if ok else f"FAIL: {what}" + (f"\n      {detail}" if detail else ""))
    return ok


def closing():
    """Prints the closing line; the exit code: 0 when something was checked and nothing failed."""
    print(f"{counts['passed']} passed, {counts['failed']} failed")
    return 0 if counts["failed"] == 0 and counts["passed"] > 0 else 1
