#!/usr/bin/env python3
"""Runs every VBScript and JScript example of the documentation and compares what it prints
with the output that the documentation states.

  doc_examples.py run --wine-run W --prefix P --work DIR --other-dll DLL FILE.md...
  doc_examples.py self-test

How the Markdown states an example's output (the convention the documentation follows):

  - An example is a fenced block whose info string is `vbscript` or `javascript`.
  - When the example prints something, the line after its closing fence (blank lines aside) is
    "Output:", followed by a fenced block with the info string `text` that holds the lines the
    example prints, in order. An example without an "Output:" block must print nothing.
  - Where a line depends on the machine (a new GUID, a tick count, a path, a system text that
    Windows and Wine word differently), an HTML comment between "Output:" and the `text` block
    gives one regular expression per output line, "=" for a line that must read as shown:

        Output:
        <!-- patterns:
        ^\\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\}$
        -->
        ```text
        {214C0EA4-6457-4337-B721-ED72536843E2}
        ```

    The line shown must match its own pattern too, so the sample stays a true one.

Every example runs in a fresh cscript process. An example that does not create the object
itself starts from `u`, made as the reference shows (`Set u = CreateObject(...)`, or
`var u = new ActiveXObject(...)` and the `vbArray` helper taken from the reference's own
block). The example's files exist: C:\\Temp\\a.txt (an empty file) and C:\\Tools\\Other.dll (a
server whose registration entry points succeed), and the current directory is C:\\Temp\\work.
A line that only this runner prints after the example tells that the example ran to its end:
cscript under Wine prints nothing for a script error, so an example that fails half-way is
caught by the line's absence.
"""
import os
import re
import shutil
import subprocess
import sys

# Examples that Wine cannot run, by a text that only that example holds, with the reason.
# Each entry must still name an example, so a rewritten one is not left out by accident.
NOT_UNDER_WINE = [
    ("installation.md", 'CreateObject("Microsoft.Windows.ActCtx")',
     "Wine has no Microsoft.Windows.ActCtx object (registration-free activation from a script)"),
    ("installation.md", 'new ActiveXObject("Microsoft.Windows.ActCtx")',
     "Wine has no Microsoft.Windows.ActCtx object (registration-free activation from a script)"),
    ("troubleshooting.md", "nothingSelected = ChrW(",
     "Wine 8's VBScript has no ChrW (it stops the script); the JScript example beside it tests the same"),
]

LANGUAGES = {"vbscript": ".vbs", "javascript": ".js"}
END_MARK = "== example ran to its end =="
FENCE = re.compile(r"^(`{3,})([A-Za-z0-9_-]*)\s*$")


class Example:
    def __init__(self, path, line, language, code):
        self.path, self.line, self.language, self.code = path, line, language, code
        self.output = None      # the lines stated under "Output:", or None
        self.patterns = None    # one pattern (or "=") per output line, or None

    def where(self):
        return f"{os.path.basename(self.path)}:{self.line}"


def parse_fences(lines):
    """Yields (first line index, info string, body lines, index after the closing fence)."""
    i = 0
    while i < len(lines):
        m = FENCE.match(lines[i])
        if not m:
            i += 1
            continue
        ticks, info = m.group(1), m.group(2)
        body, j = [], i + 1
        while j < len(lines) and lines[j].rstrip() != ticks:
            body.append(lines[j])
            j += 1
        if j >= len(lines):
            raise ValueError(f"line {i + 1}: fenced block never closed")
        yield i, info, body, j + 1
        i = j + 1


def extract(path, text):
    """The examples of one Markdown file, each with its stated output."""
    lines = text.split("\n")
    fences = list(parse_fences(lines))
    by_start = {start: (info, body, after) for start, info, body, after in fences}
    examples = []
    for start, info, body, after in fences:
        if info not in LANGUAGES:
            continue
        ex = Example(path, start + 1, info, body)
        k = after
        while k < len(lines) and not lines[k].strip():
            k += 1
        if k < len(lines) and lines[k].strip() == "Output:":
            k += 1
            patterns = None
            if k < len(lines) and lines[k].strip() == "<!-- patterns:":
                patterns, k = [], k + 1
                while k < len(lines) and lines[k].strip() != "-->":
                    patterns.append(lines[k].strip())
                    k += 1
                if k >= len(lines):
                    raise ValueError(f"{ex.where()}: patterns comment never closed")
                k += 1
            while k < len(lines) and not lines[k].strip():
                k += 1
            if k not in by_start or by_start[k][0] != "text":
                raise ValueError(f"{ex.where()}: \"Output:\" is not followed by a text block")
            ex.output = by_start[k][1]
            if patterns is not None:
                if len(patterns) != len(ex.output):
                    raise ValueError(f"{ex.where()}: {len(patterns)} patterns for {len(ex.output)} output lines")
                for pattern, shown in zip(patterns, ex.output):
                    if pattern != "=" and not re.fullmatch(pattern, shown):
                        raise ValueError(f"{ex.where()}: the output shown, {shown!r}, does not match its pattern {pattern!r}")
                ex.patterns = patterns
        examples.append(ex)
    return examples


def vbarray_helper(examples):
    for ex in examples:
        if ex.language == "javascript" and any(l.startswith("function vbArray(") for l in ex.code):
            return ex.code
    raise ValueError("no example defines the JScript helper vbArray")


def script_text(ex, helper):
    code = list(ex.code)
    joined = "\n".join(code)
    if ex.language == "vbscript":
        prelude = [] if 'CreateObject("Vantorelix.Utils")' in joined else ['Set u = CreateObject("Vantorelix.Utils")']
        end = [f'WScript.Echo "{END_MARK}"']
    else:
        prelude = [] if 'ActiveXObject("Vantorelix.Utils")' in joined else ['var u = new ActiveXObject("Vantorelix.Utils");']
        if "vbArray(" in joined and "function vbArray(" not in joined:
            prelude += helper
        end = [f'WScript.Echo("{END_MARK}");']
    return "\r\n".join(prelude + code + end) + "\r\n"


def judge(ex, printed):
    """A list of faults, empty when the example printed what the documentation says."""
    lines = printed.replace("\r\n", "\n").replace("\r", "\n").split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    if END_MARK not in lines:
        return ["the example stopped before its end (a script error); it printed:"] + [f"  | {l}" for l in lines]
    cut = lines.index(END_MARK)
    lines, extra = lines[:cut], lines[cut + 1:]
    if extra:
        return ["output after the end of the example:"] + [f"  | {l}" for l in extra]
    expected = ex.output or []
    faults = []
    if len(lines) != len(expected):
        faults.append(f"printed {len(lines)} lines, the documentation states {len(expected)}")
    for n, (got, shown) in enumerate(zip(lines, expected)):
        pattern = ex.patterns[n] if ex.patterns else "="
        ok = got == shown if pattern == "=" else re.fullmatch(pattern, got) is not None
        if not ok:
            faults.append(f"line {n + 1}: printed {got!r}, the documentation states {shown!r}"
                          + ("" if pattern == "=" else f" (pattern {pattern!r})"))
    if len(lines) != len(expected):
        faults += [f"  printed | {l}" for l in lines] + [f"  stated  | {l}" for l in expected]
    return faults


def windows_path(unix):
    return "Z:" + os.path.abspath(unix).replace("/", "\\")


def skip_reason(ex, used):
    joined = "\n".join(ex.code)
    for n, (name, marker, reason) in enumerate(NOT_UNDER_WINE):
        if os.path.basename(ex.path) == name and marker in joined:
            used.add(n)
            return reason
    return None


def prepare_files(prefix, other_dll):
    drive = os.path.join(prefix, "drive_c")
    os.makedirs(os.path.join(drive, "Temp", "work"), exist_ok=True)
    os.makedirs(os.path.join(drive, "Tools"), exist_ok=True)
    open(os.path.join(drive, "Temp", "a.txt"), "w").close()
    shutil.copyfile(other_dll, os.path.join(drive, "Tools", "Other.dll"))
    return [os.path.join(drive, "Temp", "a.txt"), os.path.join(drive, "Tools", "Other.dll")]


def run(args):
    opts, files = {}, []
    it = iter(args)
    for a in it:
        if a.startswith("--"):
            opts[a[2:]] = next(it)
        else:
            files.append(a)
    examples = []
    for f in files:
        with open(f, encoding="utf-8") as fh:
            examples += extract(f, fh.read())
    helper = vbarray_helper(examples)
    work = opts["work"]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)

    used, runnable, skipped = set(), [], []
    for ex in examples:
        reason = skip_reason(ex, used)
        (skipped if reason else runnable).append((ex, reason))
    faults = [f"the list of examples Wine cannot run names one that no longer exists: {NOT_UNDER_WINE[n][:2]}"
              for n in range(len(NOT_UNDER_WINE)) if n not in used]

    batch = ["@echo off", "cd /d C:\\Temp\\work"]
    for n, (ex, _) in enumerate(runnable):
        name = f"example{n:03d}{LANGUAGES[ex.language]}"
        with open(os.path.join(work, name), "w", encoding="cp1252", newline="") as fh:
            fh.write(script_text(ex, helper))
        batch.append(f"cscript //nologo {windows_path(os.path.join(work, name))} > "
                     f"{windows_path(os.path.join(work, name + '.out'))} 2>&1")
    with open(os.path.join(work, "run-all.cmd"), "w", encoding="cp1252", newline="") as fh:
        fh.write("\r\n".join(batch) + "\r\n")

    made = prepare_files(opts["prefix"], opts["other-dll"])
    try:
        subprocess.run([opts["wine-run"], opts["prefix"], "cmd", "/c", windows_path(os.path.join(work, "run-all.cmd"))],
                       check=False, stdin=subprocess.DEVNULL, timeout=540)
    finally:
        for f in made:
            os.remove(f)

    with_output = sum(1 for ex, _ in runnable if ex.output)
    for n, (ex, _) in enumerate(runnable):
        out_file = os.path.join(work, f"example{n:03d}{LANGUAGES[ex.language]}.out")
        printed = open(out_file, encoding="cp1252", errors="replace").read() if os.path.exists(out_file) else ""
        problems = judge(ex, printed)
        if problems:
            faults.append(f"{ex.where()} ({ex.language}): " + problems[0])
            faults += ["    " + p for p in problems[1:]]
    for ex, reason in skipped:
        print(f"not run under Wine: {ex.where()} ({ex.language}): {reason}")
    print(f"{len(examples)} examples: {len(runnable)} run ({with_output} with a stated output, "
          f"{len(runnable) - with_output} printing nothing), {len(skipped)} not run under Wine")
    for f in faults:
        print("FAIL: " + f)
    return 1 if faults else 0


SAMPLE = """Intro.

```vbscript
WScript.Echo 1 + 1
```
Output:
```text
2
```
```javascript
var x = vbArray([1]);
```

```vbscript
WScript.Echo u.genGUID()
```

Output:
<!-- patterns:
^\\{[0-9A-F-]{36}\\}$
-->

```text
{214C0EA4-6457-4337-B721-ED72536843E2}
```
```javascript
function vbArray(list) {
  return list;
}
```
"""


def self_test():
    """The parser and the judge on a known sample: each check can fail on a wrong reading."""
    failures = []

    def check(cond, what):
        if not cond:
            failures.append(what)

    ex = extract("sample.md", SAMPLE)
    check([e.language for e in ex] == ["vbscript", "javascript", "vbscript", "javascript"], "four examples in order")
    check(ex[0].output == ["2"] and ex[0].patterns is None, "an exact output block is read")
    check(ex[1].output is None, "an example without Output: states nothing")
    check(ex[2].output == ["{214C0EA4-6457-4337-B721-ED72536843E2}"] and ex[2].patterns == [r"^\{[0-9A-F-]{36}\}$"],
          "patterns and the sample behind blank lines are read")
    check(vbarray_helper(ex) == ["function vbArray(list) {", "  return list;", "}"], "the helper is found")
    js = script_text(ex[1], vbarray_helper(ex))
    check(js.startswith('var u = new ActiveXObject("Vantorelix.Utils");\r\nfunction vbArray(list) {'),
          "a JScript example gets the object and the helper")
    check(script_text(ex[0], []).endswith(f'WScript.Echo "{END_MARK}"\r\n'), "the end mark closes a VBScript example")
    check(judge(ex[0], f"2\r\n{END_MARK}\r\n") == [], "the stated output passes")
    check(judge(ex[0], f"3\r\n{END_MARK}\r\n") != [], "a changed output fails")
    check(judge(ex[0], f"2\r\n2\r\n{END_MARK}\r\n") != [], "an extra line fails")
    check(judge(ex[0], "2\r\n") != [], "a script that stops early fails")
    check(judge(ex[1], f"{END_MARK}\r\n") == [], "an example stating no output passes when silent")
    check(judge(ex[1], f"x\r\n{END_MARK}\r\n") != [], "an example stating no output fails when it prints")
    check(judge(ex[2], f"{{00000000-0000-0000-0000-00000000000A}}\r\n{END_MARK}\r\n") == [], "a pattern line passes")
    check(judge(ex[2], f"{{0000}}\r\n{END_MARK}\r\n") != [], "a pattern line fails on a wrong text")
    for bad, what in [
        (SAMPLE.replace("^\\{[0-9A-F-]{36}\\}$", "^x$"), "a sample that breaks its own pattern"),
        (SAMPLE.replace("Output:\n```text\n2", "Output:\n```\n2"), "Output: without a text block"),
        (SAMPLE.replace("^\\{[0-9A-F-]{36}\\}$\n", "^\\{[0-9A-F-]{36}\\}$\n=\n"), "more patterns than lines"),
    ]:
        try:
            extract("sample.md", bad)
            failures.append(f"accepted {what}")
        except ValueError:
            pass
    for f in failures:
        print("FAIL: " + f)
    print(f"self-test: {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) > 1 and sys.argv[1] == "self-test":
        sys.exit(self_test())
    if len(sys.argv) > 1 and sys.argv[1] == "run":
        sys.exit(run(sys.argv[2:]))
    print(__doc__)
    sys.exit(2)
