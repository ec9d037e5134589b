#!/usr/bin/env python3
"""The installer rows over recorded harvests: the real one of both DLLs (a machine that runs
32-bit programs registers the 32-bit DLL with SysWOW64's regsvr32) and the one derived from the
64-bit DLL's alone (a machine that runs none). For each: every registry value stands in exactly
one component, the one of its view's DLL or the shared one; the real and the derived rows are
the same; wixl builds both packages from them, and their tables hold each value once.
Closes with "N passed, N failed".
"""
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "release"))
import regrows  # noqa: E402

CLSID = "CLSID\\{D26D3337-1F1D-4805-AC89-287F698FEC0E}"
IFACE = "Interface\\{33E75799-BA2C-48E8-8AC5-8C52D210F460}"
TYPELIB = "Typelib\\{C7C9CF68-A9EA-4EBB-9196-AEF9132F38EA}\\1.0"
passed = failed = 0


def check(ok, what, detail=""):
    global passed, failed
    passed, failed = passed + bool(ok), failed + (not ok)
    print(("PASS: " if ok else "FAIL: ") + what + ("" if ok or not detail else f"\n      {detail}"))
    return ok


def keys(rows):
    return sorted((r[1].lower(), r[2]) for r in rows)


def per_view_keys(view):
    """What one DLL's own component writes: its view's class and interface keys and its type
    library platform key."""
    platform = "win64" if view == "64" else "win32"
    return sorted(k.lower() for k in [CLSID, CLSID + "\\InprocServer32", CLSID + "\\InprocServer32", CLSID + "\\ProgID",
                                     CLSID + "\\TypeLib", CLSID + "\\Version", IFACE, IFACE + "\\ProxyStubClsid",
                                     IFACE + "\\ProxyStubClsid32", IFACE + "\\TypeLib", IFACE + "\\TypeLib",
                                     TYPELIB + "\\409\\" + platform])


def check_parts(parts, tag):
    for cid, view in (("Dll64", "64"), ("Dll32", "32")):
        rows = parts[cid]
        check(sorted(r[1].lower() for r in rows) == per_view_keys(view),
              f"{tag}: {cid} writes its view's CLSID and Interface keys and its platform key", keys(rows))
        check(all(r[0] == view for r in rows if not r[1].lower().startswith("typelib")),
              f"{tag}: every class and interface row of {cid} is in the {view}-bit view", rows)
    shared = parts["SharedClasses"]
    check(keys(shared) == sorted([("vantorelix.utils", ""), ("vantorelix.utils\\clsid", ""), (TYPELIB.lower(), ""),
                                  (TYPELIB.lower() + "\\flags", ""), (TYPELIB.lower() + "\\helpdir", "")]),
          f"{tag}: the shared component writes the ProgID and the type library's version key", keys(shared))
    seen = {}
    for cid, rows in parts.items():
        for r in rows:
            seen.setdefault(regrows.identity(r), []).append(cid)
    twice = {k: v for k, v in seen.items() if len(v) > 1}
    check(not twice, f"{tag}: no value stands in two components", twice)


def build(parts, derived, work, tag):
    """Both packages from the rows, with stand-in files: wixl must accept them and the Registry
    table must hold each row once per component."""
    for sub in ("x86", "x64"):
        os.makedirs(os.path.join(work, sub), exist_ok=True)
        for f in ("Vantorelix.dll", "Vantorelix.manifest"):
            with open(os.path.join(work, sub, f), "w") as out:
                out.write(sub)
    tables = {}
    for arch in ("x64", "x86"):
        p = parts if arch == "x64" else {"Dll64": [], "Dll32": [("32",) + r[1:] for r in parts["Dll32"]],
                                         "SharedClasses": parts["SharedClasses"]}
        src = os.path.join(work, f"{arch}.wxs")
        with open(src, "w") as out:
            out.write(regrows.wxs(arch, "1.0.0", p, derived))
        msi = os.path.join(work, f"{arch}.msi")
        r = subprocess.run(["wixl", "-a", arch, "-o", msi, src], cwd=work, capture_output=True, text=True)
        if not check(r.returncode == 0, f"{tag}: wixl builds the {arch} package", r.stdout + r.stderr):
            continue
        out = subprocess.run(["msiinfo", "export", msi, "Registry"], capture_output=True, text=True).stdout
        rows = [l.split("\t") for l in out.replace("\r", "").split("\n")[3:] if l]
        want = sum(len(v) for v in p.values())
        check(len(rows) == want, f"{tag}: the {arch} package's Registry table has the {want} rows", len(rows))
        placed = sorted((row[5], row[2].lower(), row[3]) for row in rows)
        check(len(set(placed)) == len(placed), f"{tag}: the {arch} package writes no value twice in one component")
        comps = subprocess.run(["msiinfo", "export", msi, "Component"], capture_output=True, text=True).stdout
        tables[arch] = {l.split("\t")[0]: l.split("\t")[1] for l in comps.replace("\r", "").split("\n")[3:] if l}
    if len(tables) == 2:
        check(tables["x64"]["Dll32"] == tables["x86"]["Dll32"],
              f"{tag}: the 32-bit DLL's component, the same resources in the same bitness, has one GUID in both packages")
        check(tables["x64"]["SharedClasses"] != tables["x86"]["SharedClasses"],
              f"{tag}: the shared component, 64-bit in one package and 32-bit in the other, has a GUID for each")


def main():
    harvests = os.path.join(HERE, "harvests")
    rows64 = regrows.read_rows(os.path.join(harvests, "rows-64.tsv"))
    rows32 = regrows.read_rows(os.path.join(harvests, "rows-32.tsv"))
    # The recordings are what they claim: the 32-bit registration wrote into the 64-bit view too.
    check(any(r[0] == "64" and r[1].lower().startswith("interface") for r in rows32),
          "the recorded 32-bit harvest has Interface rows in the 64-bit view (the platform's RegisterTypeLib)")
    real = regrows.components(rows64, rows32)
    derived = regrows.components(rows64, regrows.derive_32(rows64))
    check_parts(real, "real 32-bit harvest")
    check_parts(derived, "derived 32-bit rows")
    # (The TypeLib tree is shared: the real harvest finds the win32 key in the 64-bit view's
    # name of it, the derivation writes it in the 32-bit view's; both are one key.)
    same = {c: sorted((regrows.identity(r), r[3]) for r in v) for c, v in real.items()}
    check(same == {c: sorted((regrows.identity(r), r[3]) for r in v) for c, v in derived.items()},
          "the real and the derived rows are the same values in the same components")
    with tempfile.TemporaryDirectory() as work:
        build(real, False, os.path.join(work, "real"), "real 32-bit harvest")
        build(derived, True, os.path.join(work, "derived"), "derived 32-bit rows")
    # Two registrations that write one shared value differently cannot both be installed.
    conflicting = [r if r[1] != "Vantorelix.Utils" else (r[0], r[1], r[2], "Another Object") for r in rows32]
    r = subprocess.run([sys.executable, "-c", "import sys; sys.path.insert(0, sys.argv[1]); import regrows; "
                        "regrows.components(regrows.read_rows(sys.argv[2]), [tuple(l.split('\\t')) for l in sys.argv[3:]])",
                        os.path.join(HERE, "..", "..", "release"), os.path.join(harvests, "rows-64.tsv"),
                        *["\t".join(c) for c in conflicting]], capture_output=True, text=True)
    check(r.returncode != 0 and "differently" in r.stderr, "a value the two registrations write differently stops the build",
          r.stderr)
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 and passed > 0 else 1


if __name__ == "__main__":
    sys.exit(main())
