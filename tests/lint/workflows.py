#!/usr/bin/env python3
"""The GitHub workflow files against GitHub's workflow schema, with action-validator from the
npm registry, pinned to one version and installed on first use into a folder of the build tree.

  workflows.py install TOOLS                 installs the pinned version into TOOLS (once)
  workflows.py check TOOLS FOLDER            each *.yml and *.yaml in FOLDER must pass
  workflows.py self-test TOOLS WORK WORKFLOW broken copies of WORKFLOW must each fail

action-validator checks a workflow against the JSON schema of GitHub workflows that it carries
(keys, types, events, the form of jobs and steps) and that each job a job needs exists; it runs
without the network once installed. It does not parse the ${{ }} expressions.
"""
import json
import os
import re
import shutil
import subprocess
import sys

PACKAGES = {"@action-validator/cli": "0.6.0", "@action-validator/core": "0.6.0"}


def tool(tools):
    return os.path.join(tools, "node_modules", ".bin", "action-validator")


def installed_versions(tools):
    out = {}
    for name in PACKAGES:
        try:
            with open(os.path.join(tools, "node_modules", *name.split("/"), "package.json")) as f:
                out[name] = json.load(f).get("version")
        except (OSError, ValueError):
            out[name] = None
    return out


def install(tools):
    if installed_versions(tools) == PACKAGES and os.path.exists(tool(tools)):
        print(f"action-validator {PACKAGES['@action-validator/cli']} is installed in {tools}")
        return 0
    if shutil.which("npm") is None:
        print("FAIL: npm is not installed (Debian: npm, or Node.js with npm)")
        return 1
    os.makedirs(tools, exist_ok=True)
    pinned = [f"{n}@{v}" for n, v in PACKAGES.items()]
    p = subprocess.run(["npm", "install", "--prefix", tools, "--no-audit", "--no-fund", "--save-exact"] + pinned,
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    print(p.stdout.decode("utf-8", "replace").rstrip())
    got = installed_versions(tools)
    if p.returncode != 0 or got != PACKAGES:
        print(f"FAIL: npm install {' '.join(pinned)} gave {got}")
        return 1
    print(f"installed {' '.join(pinned)} into {tools}")
    return 0


def validate(tools, path):
    """(passed, what the validator said) for one workflow file."""
    p = subprocess.run(["node", tool(tools), path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    return p.returncode == 0, p.stdout.decode("utf-8", "replace").strip()


def error_codes(text):
    """The error codes of the validator's JSON report, at every depth."""
    return set(re.findall(r'"code":\s*"([^"]+)"', text))


def check(tools, folder):
    workflows = sorted(os.path.join(folder, n) for n in os.listdir(folder) if n.endswith((".yml", ".yaml")))
    if not os.path.exists(tool(tools)):
        print(f"FAIL: action-validator is not installed in {tools} (workflows.py install)")
        return 1
    if not workflows:
        print(f"FAIL: no workflow file in {folder}")
        return 1
    passed = failed = 0
    for w in workflows:
        ok, out = validate(tools, w)
        print(("PASS: " if ok else "FAIL: ") + f"{w} follows GitHub's workflow schema" + ("" if ok else "\n" + out))
        passed, failed = passed + ok, failed + (not ok)
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


# Broken copies: (what, the change, error codes of which one at least must be reported).
BROKEN = [
    ("a job without runs-on", r"^(    )runs-on: .*\n", "", {"required", "one_of"}),
    ("steps spelt step", r"^(    )steps:$", r"\1step:", {"required", "additional_properties", "one_of"}),
    ("a step with neither uses nor run", r"^(\s+- )uses: (actions/checkout@v4)$", r"\1usess: \2",
     {"required", "one_of"}),
    ("timeout-minutes as a word", r"^(    timeout-minutes:) \d+$", r"\1 sixty", {"type", "one_of", "any_of"}),
    ("an event that GitHub does not have", r"^  pull_request:$", "  pull_requests:",
     {"additional_properties", "one_of", "any_of"}),
    ("a job that needs a job that is not there", r"^(    needs:) (\w+)$", r"\1 \2-missing", {"unresolved_job"}),
    ("a YAML syntax error", r"^(jobs:)$", r"\1\n  [", {"parse_error"}),
]


def self_test(tools, work, workflow):
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    with open(workflow, encoding="utf-8") as f:
        text = f.read()
    passed = failed = 0
    ok, out = validate(tools, workflow)
    if ok:
        passed += 1
        print(f"PASS: {os.path.basename(workflow)} as it is passes")
    else:
        failed += 1
        print(f"FAIL: {os.path.basename(workflow)} as it is must pass for its broken copies to tell\n{out}")
    for i, (what, pattern, repl, codes) in enumerate(BROKEN):
        broken = re.sub(pattern, repl, text, count=1, flags=re.M)
        path = os.path.join(work, f"broken-{i}.yml")
        with open(path, "w", encoding="utf-8") as f:
            f.write(broken)
        if broken == text:
            ok, detail = False, f"the change {pattern!r} found nothing to change"
        else:
            valid, out = validate(tools, path)
            found = error_codes(out)
            ok = not valid and bool(found & codes)
            detail = out if valid else f"reported {sorted(found)}, expected one of {sorted(codes)}"
        print(("PASS: " if ok else "FAIL: ") + f"a copy with {what} is refused" + ("" if ok else "\n      " + detail))
        passed, failed = passed + ok, failed + (not ok)
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


def main():
    a = sys.argv[1:]
    if len(a) == 2 and a[0] == "install":
        return install(os.path.abspath(a[1]))
    if len(a) == 3 and a[0] == "check":
        return check(os.path.abspath(a[1]), a[2])
    if len(a) == 4 and a[0] == "self-test":
        return self_test(os.path.abspath(a[1]), os.path.abspath(a[2]), a[3])
    print(__doc__.strip().split("\n\n")[1], file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
