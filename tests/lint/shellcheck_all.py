#!/usr/bin/env python3
"""shellcheck over every shell script of the source tree.

  shellcheck_all.py check SOURCE [--skip DIR]...   every script, from SOURCE; fails on a finding
  shellcheck_all.py self-test WORK                 the finder and the verdict on a made-up tree

A shell script is found by what it is, not by where it lies: a file whose first line is a
shebang naming sh, bash, dash or ksh (directly or through env), a file named *.sh or *.bash,
or one that starts with a "# shellcheck shell=..." directive (a sourced helper such as
scripts/arch.sh). The build trees, dist/, .git and the fuzzers' corpus are left out, as is
every folder given with --skip. shellcheck runs from SOURCE with -x, so that a "# shellcheck source=PATH"
directive names the sourced file by its path in the tree, at shellcheck's default severity
(style); a script passes when shellcheck reports nothing for it.
"""
import os
import re
import shutil
import subprocess
import sys

SHEBANG = re.compile(rb"#!\s*(\S*/)?(env\s+(-\S+\s+)*)?(sh|bash|dash|ksh)(\s|$)")
DIRECTIVE = re.compile(rb"#\s*shellcheck\s+shell=(sh|bash|dash|ksh)\b")
# Top-level folders that hold no source: build trees, the release, version control.
SKIP_TOP = re.compile(r"^(build|build-.*|dist|\.git)$")
SKIP_ANY = {"node_modules", "__pycache__", ".git"}
# Folders of data, whose files may start with any bytes: the fuzzers' inputs.
SKIP_DATA = {os.path.join("tests", "fuzz", "corpus")}


def is_shell_script(path):
    if path.endswith((".sh", ".bash")):
        return True
    try:
        with open(path, "rb") as f:
            first = f.readline(256)
    except OSError:
        return False
    return bool(SHEBANG.match(first) or DIRECTIVE.match(first))


def find_scripts(source, skip=()):
    skip = {os.path.realpath(s) for s in skip}
    found = []
    for folder, dirs, files in os.walk(source):
        rel = os.path.relpath(folder, source)
        dirs[:] = sorted(d for d in dirs
                         if d not in SKIP_ANY and not (rel == "." and SKIP_TOP.match(d))
                         and os.path.normpath(os.path.join(rel, d)) not in SKIP_DATA
                         and os.path.realpath(os.path.join(folder, d)) not in skip)
        for name in sorted(files):
            path = os.path.join(folder, name)
            if os.path.isfile(path) and not os.path.islink(path) and is_shell_script(path):
                found.append(os.path.relpath(path, source))
    return sorted(found)


def shellcheck(source, scripts):
    """(exit code, output) of one shellcheck run over the scripts, from SOURCE."""
    p = subprocess.run(["shellcheck", "-x", "-f", "gcc"] + scripts, cwd=source,
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    return p.returncode, p.stdout.decode("utf-8", "replace")


def check(source, skip):
    if shutil.which("shellcheck") is None:
        print("FAIL: shellcheck is not installed (Debian: shellcheck)")
        return 1
    version = subprocess.run(["shellcheck", "--version"], stdout=subprocess.PIPE).stdout.decode()
    scripts = find_scripts(source, skip)
    version = re.search(r"version: (\S+)", version).group(1)
    print(f"shellcheck {version} over {len(scripts)} scripts:")
    for s in scripts:
        print(f"  {s}")
    if not scripts:
        print("FAIL: no shell script found")
        return 1
    rc, out = shellcheck(source, scripts)
    findings = [l for l in out.splitlines() if re.match(r"^[^:]+:\d+:\d+: ", l)]
    print(out.rstrip() if out.strip() else "no findings")
    bad = sorted({l.split(":", 1)[0] for l in findings})
    print(f"{len(scripts) - len(bad)} passed, {len(bad)} failed")
    return 0 if rc == 0 and not findings else 1


def self_test(work):
    """The finder and the verdict on a tree made here: scripts found by their first line in a
    folder no glob names, no Python and nothing from a build tree; a finding fails the run,
    and the same tree without it passes."""
    shutil.rmtree(work, ignore_errors=True)
    files = {
        "tools/new-folder/helper": "#!/usr/bin/env bash\nset -eu\nname=$1\nls $name\n",  # SC2086
        "tools/plain": "#!/bin/sh\necho ok\n",
        "tools/env-flags": "#!/usr/bin/env -S bash -e\necho ok\n",
        "lib/sourced.sh": "# A helper, sourced.\n# shellcheck shell=bash\necho sourced\n",
        "lib/directive": "# shellcheck shell=bash\necho \"directive\"\n",
        "tools/script.py": "#!/usr/bin/env python3\nprint('not shell')\n",
        "tools/bashful": "#!/usr/bin/env bashful\n",
        "build/win64/generated": "#!/bin/sh\nls $1\n",
        "dist/in-release": "#!/bin/sh\nls $1\n",
        "tests/fuzz/corpus/0a1b2c": "#!/bin/sh\nls $1\n",
    }
    for rel, text in files.items():
        path = os.path.join(work, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as f:
            f.write(text)
    passed = failed = 0

    def expect(ok, what, detail=""):
        nonlocal passed, failed
        print(("PASS: " if ok else "FAIL: ") + what + ("" if ok or not detail else f"\n      {detail}"))
        passed, failed = passed + bool(ok), failed + (not ok)

    found = find_scripts(work)
    want = ["lib/directive", "lib/sourced.sh", "tools/env-flags", "tools/new-folder/helper", "tools/plain"]
    expect(found == want, "the finder takes shell scripts by their first line or name, in any folder, "
           "and leaves out Python, other interpreters, build trees, dist/ and the fuzz corpus", found)
    rc, out = shellcheck(work, found)
    expect(rc != 0 and "tools/new-folder/helper:4:4:" in out and "SC2086" in out,
           "a script with a finding fails the run, named with its line", out)
    expect(check(work, []) == 1, "the check fails on that tree")
    with open(os.path.join(work, "tools/new-folder/helper"), "w") as f:
        f.write(files["tools/new-folder/helper"].replace("ls $name", 'ls "$name"'))
    expect(check(work, []) == 0, "the same tree with the finding fixed passes")
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


def main():
    args = sys.argv[1:]
    if len(args) >= 2 and args[0] == "check":
        skip = [args[i + 1] for i in range(2, len(args) - 1) if args[i] == "--skip"]
        return check(os.path.abspath(args[1]), skip)
    if len(args) == 2 and args[0] == "self-test":
        return self_test(os.path.abspath(args[1]))
    print(__doc__.strip().split("\n\n")[0], file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main())
