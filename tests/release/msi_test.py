#!/usr/bin/env python3
"""The installer packages under Wine's msiexec, in a fresh win64 prefix.

Builds the x64 and x86 packages of this version from the two build trees' DLLs (and a second
x64 package with the next patch version, for the upgrade), then:
  - checks both packages' tables (the x86 package is only read: see below);
  - installs the x64 package per machine with /qn: both DLLs in Program Files, the COM rows of
    both registry views, a 64-bit host that creates Vantorelix.Utils by its ProgID, calls
    getMaxPath and genGUID, and has the DLL from Program Files loaded;
  - upgrades to the next version (one product, one working registration afterwards) and
    refuses the older package over the newer one;
  - removes it with /x: no file and no registry entry are left (the Installer's own
    bookkeeping aside);
  - registers the same DLL with regsvr32 and compares its entries with the package's, key by
    key.
Closes with "N passed, N failed".
"""
import os
import re
import shutil
import subprocess
import sys
import time
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from verdict import check, closing, fresh_work_folder, release_test_arguments, stop_and_remove  # noqa: E402  (one PASS/FAIL verdict for the release tests)

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "release"))
from regrows import read_reg, same_path  # noqa: E402  (the reader of Wine's registry files)
CLSID = "{D26D3337-1F1D-4805-AC89-287F698FEC0E}"
LIBID = "{C7C9CF68-A9EA-4EBB-9196-AEF9132F38EA}"
PROGID = "Vantorelix.Utils"
DIR64 = "C:\\Program Files\\Vantorelix"
DIR32 = "C:\\Program Files (x86)\\Vantorelix"
# HKEY_CLASSES_ROOT of each view in the machine hive; the 32-bit view has two names (Wine
# writes the second, a link to the first).
CLASSES = [("32", "software\\wow6432node\\classes\\"), ("32", "software\\classes\\wow6432node\\"),
           ("64", "software\\classes\\")]
# Windows Installer's own records of what it installed: they belong to the Installer, not to
# the package, and stay out of every registry comparison.
BOOKKEEPING = ("software\\microsoft\\windows\\currentversion\\installer",
               "software\\microsoft\\windows\\currentversion\\uninstall",
               "software\\classes\\installer",
               "software\\wow6432node\\microsoft\\windows\\currentversion\\installer",
               "software\\wow6432node\\microsoft\\windows\\currentversion\\uninstall",
               "software\\wow6432node\\classes\\installer",
               "software\\microsoft\\installer")

# Values that Wine rewrites on every start of a prefix, whatever ran: the display adapter's
# driver date that wineboot's device setup writes. Not the package's.
WINE_EVERY_START = (("system", "system\\currentcontrolset\\control\\class\\{4d36e968-e325-11ce-bfc1-08002be10318}\\0000",
                     "DriverDateData"),)
# HKEY_CLASSES_ROOT\CLSID of the 32-bit view. A win64 prefix without the 32-bit Wine has it
# empty, and Wine's Installer, removing the package's last class there, deletes the emptied key
# with it. On Windows it always holds the system's 32-bit classes and stays. An empty container
# holds no COM entry: its coming or going is noted, not counted.
EMPTY_CONTAINERS = ("software\\classes\\wow6432node\\clsid", "software\\wow6432node\\classes\\clsid")



def note(text):
    print(f"NOTE: {text}")


def win_path(unix):
    return "Z:" + os.path.abspath(unix).replace("/", "\\")


class Prefix:
    def __init__(self, path, arch, source):
        self.path, self.arch, self.source = path, arch, source
        stop_and_remove(path, source)
        os.makedirs(os.path.dirname(path), exist_ok=True)

    def run(self, *args, timeout=300):
        env = dict(os.environ, WINEARCH=self.arch)
        p = subprocess.run([os.path.join(self.source, "scripts", "wine-run"), self.path, *args],
                           stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           env=env, timeout=timeout)
        out = p.stdout.decode("utf-8", "replace").replace("\r", "")
        out = "\n".join(l for l in out.split("\n") if ":fixme:" not in l)
        return p.returncode, out

    def stop(self):
        env = dict(os.environ, WINEPREFIX=self.path)
        subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=env, stderr=subprocess.DEVNULL)

    def registry(self):
        """Every value of the machine and the user hive, read from the files that Wine writes
        when its wineserver stops: {(hive, key lowercase): (key, {name: value})}."""
        self.stop()
        out = {}
        for hive in ("system", "user"):
            for key, values in read_reg(os.path.join(self.path, f"{hive}.reg")).items():
                out[(hive, key.lower())] = (key, values)
        return out

    def drive_c(self, windows):
        return os.path.join(self.path, "drive_c", *windows[3:].split("\\"))


def changes(before, after, keep=lambda hive, key: True):
    """Values added, removed or changed between two registry readings."""
    added, removed = [], []
    for k in set(before) | set(after):
        hive, low = k
        if low.startswith(BOOKKEEPING) or not keep(hive, low):
            continue
        b = before.get(k, (None, {}))[1]
        a = after.get(k, (None, {}))[1]
        name = (after.get(k) or before.get(k))[0]
        for v in set(a) | set(b):
            if (hive, low, v) in WINE_EVERY_START:
                continue
            if v not in b:
                added.append((hive, name, v, a[v]))
            elif v not in a:
                removed.append((hive, name, v, b[v]))
            elif a[v] != b[v]:
                added.append((hive, name, v, a[v]))
        # Wine's file leaves out a key without values once it has subkeys: such a key is gone
        # only when no key below it is left either.
        if k in before and k not in after and not any(o[0] == hive and o[1].startswith(low + "\\") for o in after):
            if low in EMPTY_CONTAINERS and not b:
                note(f"the empty key {name} is gone (Wine's Installer deletes an emptied container)")
            else:
                removed.append((hive, name, None, None))
        if k in after and k not in before and not a:
            if low in EMPTY_CONTAINERS:
                note(f"the empty key {name} was made")
            else:
                added.append((hive, name, None, None))
    return sorted(added, key=str), sorted(removed, key=str)


def classes_rows(added):
    """The added values under HKEY_CLASSES_ROOT: {(view, key lowercase, name): (key, value)}."""
    rows = {}
    for hive, key, name, value in added:
        low = key.lower()
        for view, prefix in CLASSES:
            if hive == "system" and low.startswith(prefix) and name is not None:
                rows[(view, low[len(prefix):], name)] = (key[len(prefix):], value[1])
                break
    return rows


def msi_table(msi, table):
    p = subprocess.run(["msiinfo", "export", msi, table], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    lines = p.stdout.decode("utf-8", "replace").replace("\r", "").split("\n")
    columns = lines[0].split("\t")
    return [dict(zip(columns, l.split("\t"))) for l in lines[3:] if l]


def check_tables(msi, arch, version, dll32_size, dll64_size):
    """What the package holds, read with msitools."""
    tag = f"{arch} package tables"
    props = {r["Property"]: r["Value"] for r in msi_table(msi, "Property")}
    check(props.get("ProductVersion") == version, f"{tag}: ProductVersion is {version}", props.get("ProductVersion"))
    check(props.get("ALLUSERS") == "1", f"{tag}: installs per machine (ALLUSERS=1)", props.get("ALLUSERS"))
    suminfo = subprocess.run(["msiinfo", "suminfo", msi], stdout=subprocess.PIPE).stdout.decode()
    platform = "x64" if arch == "x64" else "Intel"
    check(f"Template: {platform};1033" in suminfo, f"{tag}: the package's platform is {platform}", suminfo)
    comps = {r["Component"]: r for r in msi_table(msi, "Component")}
    want = {"Dll32": False, "SharedClasses": arch == "x64"}
    if arch == "x64":
        want["Dll64"] = True
    check(set(comps) == set(want), f"{tag}: components {sorted(want)}", sorted(comps))
    for c, is64 in want.items():
        if c in comps:
            check((int(comps[c]["Attributes"]) & 256 != 0) == is64,
                  f"{tag}: component {c} is {'64' if is64 else '32'}-bit", comps[c]["Attributes"])
    dirs = {r["Directory"]: r for r in msi_table(msi, "Directory")}
    check(("ProgramFiles64Folder" in dirs) == (arch == "x64") and "ProgramFilesFolder" in dirs,
          f"{tag}: install folders", sorted(dirs))
    files = {r["File"]: r for r in msi_table(msi, "File")}
    sizes = {"Dll32.dll": dll32_size, **({"Dll64.dll": dll64_size} if arch == "x64" else {})}
    for f, size in sizes.items():
        check(f in files and int(files[f]["FileSize"]) == size, f"{tag}: {f} holds the build's DLL ({size} bytes)",
              files.get(f))
    reg = msi_table(msi, "Registry")
    check(reg and all(r["Root"] == "0" for r in reg), f"{tag}: every registry row is under HKEY_CLASSES_ROOT")
    by = {(r["Component_"], r["Key"].lower(), r["Name"]): r["Value"] for r in reg}
    server = f"clsid\\{CLSID.lower()}\\inprocserver32"
    check(by.get(("Dll32", server, "")) == "[#Dll32.dll]" and by.get(("Dll32", server, "ThreadingModel")) == "Apartment",
          f"{tag}: the 32-bit component registers the 32-bit DLL as the class's server")
    win32 = f"typelib\\{LIBID.lower()}\\1.0\\409\\win32"
    win64 = f"typelib\\{LIBID.lower()}\\1.0\\409\\win64"
    check(by.get(("Dll32", win32, "")) == "[#Dll32.dll]", f"{tag}: the 32-bit component has the win32 type library key")
    if arch == "x64":
        check(by.get(("Dll64", server, "")) == "[#Dll64.dll]", f"{tag}: the 64-bit component registers the 64-bit DLL")
        check(by.get(("Dll64", win64, "")) == "[#Dll64.dll]", f"{tag}: the 64-bit component has the win64 type library key")
    else:
        check(not any(k[1] == win64 for k in by), f"{tag}: no win64 type library key")
    shared = {k[1] for k in by if k[0] == "SharedClasses"}
    check({PROGID.lower(), PROGID.lower() + "\\clsid", f"typelib\\{LIBID.lower()}\\1.0"} <= shared
          and not any(k.startswith(("clsid\\", "interface\\")) for k in shared),
          f"{tag}: the ProgID and the type library's version key are in the shared component, no per-view key",
          sorted(shared))
    feats = msi_table(msi, "FeatureComponents")
    for f in {r["Feature_"] for r in feats}:
        check({"SharedClasses", f} <= {r["Component_"] for r in feats if r["Feature_"] == f},
              f"{tag}: feature {f} uses its DLL's component and the shared one")
    launch = {r["Condition"]: r["Description"] for r in msi_table(msi, "LaunchCondition")}
    if arch == "x86":
        check(f"Vantorelix-{version}-x64.msi" in launch.get("Installed OR NOT VersionNT64", ""),
              f"{tag}: on 64-bit Windows the package stops and names the x64 package", launch)
    else:
        check(not any("VersionNT64" in c for c in launch), f"{tag}: no bitness condition", launch)
    upgrade = msi_table(msi, "Upgrade")
    check(len(upgrade) >= 2, f"{tag}: major upgrade rows (newer replaces, older refused)", upgrade)
    return props


def msiexec(prefix, *args):
    start = time.monotonic()
    rc, out = prefix.run("msiexec", *args)
    return rc, out, time.monotonic() - start


def products(registry):
    """The installed products that Windows lists under Uninstall: {product code: version}."""
    out = {}
    for (hive, low), (key, values) in registry.items():
        m = re.match(r"software\\microsoft\\windows\\currentversion\\uninstall\\(\{[^\\]+\})$", low)
        if hive == "system" and m and values.get("DisplayName", (None, ""))[1] == "Vantorelix":
            out[m.group(1)] = values.get("DisplayVersion", (None, ""))[1]
    return out


def host_check(prefix, work, what, host, expected_module):
    rc, out = prefix.run(host)
    lines = dict(l.split(": ", 1) for l in out.split("\n") if ": " in l)
    check(rc == 0 and lines.get("getMaxPath") == "260"
          and re.fullmatch(r"\{[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\}", lines.get("genGUID", "")),
          f"{what}: creates {PROGID} by its ProgID, getMaxPath and genGUID answer", out)
    check(lines.get("module", "").lower() == expected_module.lower(),
          f"{what}: the DLL loaded is {expected_module}", lines.get("module"))


def script_check(prefix, work, what, cscript):
    script = os.path.join(work, "installed.vbs")
    with open(script, "w") as f:
        f.write('Set u = CreateObject("Vantorelix.Utils")\r\n'
                'WScript.Echo "getMaxPath: " & u.getMaxPath()\r\n'
                'WScript.Echo "genGUID: " & u.genGUID()\r\n')
    rc, out = prefix.run(cscript, "//nologo", win_path(script))
    ok = rc == 0 and "getMaxPath: 260" in out and re.search(r"genGUID: \{[0-9A-F-]{36}\}", out)
    check(bool(ok), f"{what}: a script creates {PROGID} by its ProgID and calls getMaxPath and genGUID", out)


def main():
    a = release_test_arguments()

    started = time.monotonic()
    work = fresh_work_folder(a)
    dll32 = os.path.join(a.win32, "Vantorelix.dll")
    dll64 = os.path.join(a.win64, "Vantorelix.dll")
    for d in (dll32, dll64):
        if not os.path.exists(d):
            check(False, f"{d} is built (the installer tests package both trees' DLLs)")
            return finish(started)
    major, minor, patch = (int(x) for x in a.version.split("."))
    newer = f"{major}.{minor}.{patch + 1}"

    # The packages: this version and the next one (same DLLs, a higher ProductVersion).
    pkgs = os.path.join(work, "packages")
    build = [os.path.join(a.source, "release", "build-msi"), pkgs]
    for version, extra in ((a.version, []), (newer, ["--reuse-harvest"])):
        p = subprocess.run(build + [version, a.win32, a.win64] + extra,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        print(p.stdout.decode("utf-8", "replace").rstrip())
        if not check(p.returncode == 0, f"release/build-msi builds the {version} packages"):
            return finish(started)
    msi = {v: os.path.join(pkgs, f"Vantorelix-{v}-x64.msi") for v in (a.version, newer)}
    msi86 = os.path.join(pkgs, f"Vantorelix-{a.version}-x86.msi")
    size32, size64 = os.path.getsize(dll32), os.path.getsize(dll64)
    props = check_tables(msi[a.version], "x64", a.version, size32, size64)
    props86 = check_tables(msi86, "x86", a.version, size32, size64)
    newer_props = {r["Property"]: r["Value"] for r in msi_table(msi[newer], "Property")}
    check(props.get("UpgradeCode") == newer_props.get("UpgradeCode") and props.get("UpgradeCode")
          and props.get("ProductCode") != newer_props.get("ProductCode"),
          "x64 packages of two versions: one UpgradeCode, two ProductCodes")
    check(props.get("UpgradeCode") != props86.get("UpgradeCode"), "the x64 and x86 packages have UpgradeCodes of their own")

    can32 = subprocess.run([os.path.join(a.source, "scripts", "can-run-32bit")], stdout=subprocess.PIPE)
    reason32 = None if can32.returncode == 0 else can32.stdout.decode().strip()

    # A fresh win64 prefix. Wine registers its script type library when cscript first runs: the
    # "before" reading is taken after that.
    px = Prefix(os.path.join(work, "wineprefix"), "win64", a.source)
    script_dir = os.path.join(work, "scripts")
    os.makedirs(script_dir)
    with open(os.path.join(script_dir, "nothing.vbs"), "w") as f:
        f.write("WScript.Echo \"\"\r\n")
    px.run("cscript", "//nologo", win_path(os.path.join(script_dir, "nothing.vbs")))
    if reason32 is None:
        px.run("C:\\windows\\syswow64\\cscript.exe", "//nologo", win_path(os.path.join(script_dir, "nothing.vbs")))
    before = px.registry()

    # The x86 package on 64-bit Windows: refused, and nothing is installed.
    rc, out, took = msiexec(px, "/i", win_path(msi86), "/qn")
    check(rc != 0, f"msiexec /i x86 in the win64 prefix is refused (exit code {rc})", out)
    left86, gone86 = changes(before, px.registry())
    check(not left86 and not gone86 and not os.path.exists(px.drive_c(DIR32)),
          "the refused x86 package leaves no file and no registry value", left86 + gone86)

    # Install.
    rc, out, took = msiexec(px, "/i", win_path(msi[a.version]), "/qn")
    check(rc == 0, f"msiexec /i x64 {a.version} /qn succeeds ({took:.1f} s)", out)
    for d, built in ((DIR64, dll64), (DIR32, dll32)):
        f = px.drive_c(d + "\\Vantorelix.dll")
        check(os.path.exists(f) and open(f, "rb").read() == open(built, "rb").read(),
              f"{d}\\Vantorelix.dll is the build's DLL")
        check(os.path.exists(px.drive_c(d + "\\Vantorelix.manifest")), f"{d}\\Vantorelix.manifest is installed")
    installed = px.registry()
    added, removed = changes(before, installed)
    rows = classes_rows(added)
    check(not removed, "installing removes no registry value", removed)
    server = f"clsid\\{CLSID.lower()}\\inprocserver32"
    check(rows.get(("64", server, ""), (0, ""))[1].lower() == (DIR64 + "\\Vantorelix.dll").lower(),
          "64-bit view: the class's server is the 64-bit DLL in Program Files", rows.get(("64", server, "")))
    # The 32-bit rows: the 32-bit view (Wow6432Node) holds the class of the 32-bit DLL.
    check(rows.get(("32", server, ""), (0, ""))[1].lower() == (DIR32 + "\\Vantorelix.dll").lower()
          and rows.get(("32", server, "ThreadingModel"), (0, ""))[1] == "Apartment",
          "32-bit view: the class's server is the 32-bit DLL in Program Files (x86)", rows.get(("32", server, "")))
    win32 = f"typelib\\{LIBID.lower()}\\1.0\\409\\win32"
    # HKEY_CLASSES_ROOT\TypeLib is one key for both views (Windows 7 and later, and Wine): the
    # 32-bit component's row shows in it, whichever name the view gives it.
    in32 = rows.get(("32", win32, "")) or rows.get(("64", win32, ""))
    check(in32 is not None and in32[1].lower() == (DIR32 + "\\Vantorelix.dll").lower(),
          "the type library's win32 key names the 32-bit DLL", in32)
    check(len(products(installed)) == 1, "one Vantorelix product is installed", products(installed))

    # The hosts.
    host64 = win_path(os.path.join(a.win64, "installed_host.exe"))
    script_check(px, script_dir, "64-bit cscript", "cscript")
    host_check(px, work, "64-bit host", host64, DIR64 + "\\Vantorelix.dll")
    if reason32 is None:
        script_check(px, script_dir, "32-bit cscript (syswow64)", "C:\\windows\\syswow64\\cscript.exe")
        host_check(px, work, "32-bit host", win_path(os.path.join(a.win32, "installed_host.exe")),
                   DIR32 + "\\Vantorelix.dll")
    else:
        note(f"the 32-bit hosts (syswow64 cscript, the 32-bit host program) do not run: {reason32}; "
             "the 32-bit rows were checked in the registry above")

    # Upgrade to the next version, then the older package over the newer one.
    rc, out, took = msiexec(px, "/i", win_path(msi[newer]), "/qn")
    check(rc == 0, f"msiexec /i x64 {newer} over {a.version} succeeds ({took:.1f} s)", out)
    upgraded = px.registry()
    check(list(products(upgraded).values()) == [newer], f"after the upgrade only {newer} is installed",
          products(upgraded))
    up_rows = classes_rows(changes(before, upgraded)[0])
    check(up_rows == rows, "after the upgrade the COM entries are the same as after a first install",
          set(up_rows.items()) ^ set(rows.items()))
    script_check(px, script_dir, "64-bit cscript after the upgrade", "cscript")
    rc, out, took = msiexec(px, "/i", win_path(msi[a.version]), "/qn")
    # Wine gives the exit code modulo 256 (1603 reads 67): only "not success" is checked.
    check(rc != 0, f"msiexec /i of the older {a.version} over {newer} is refused (exit code {rc}, Wine keeps 8 bits)")
    refused = px.registry()
    check(list(products(refused).values()) == [newer] and os.path.exists(px.drive_c(DIR64 + "\\Vantorelix.dll")),
          f"{newer} stays installed after the refused downgrade", products(refused))

    # Removal leaves nothing.
    rc, out, took = msiexec(px, "/x", win_path(msi[newer]), "/qn")
    check(rc == 0, f"msiexec /x /qn succeeds ({took:.1f} s)", out)
    for d in (DIR64, DIR32):
        left = px.drive_c(d)
        check(not os.path.exists(left) or not os.listdir(left), f"no file is left in {d}",
              os.listdir(left) if os.path.exists(left) else "")
    after = px.registry()
    added, removed = changes(before, after)
    check(not added, "no registry value or key is left (the Installer's bookkeeping aside)", added[:20])
    check(not removed, "no registry value or key that was there before is gone", removed[:20])
    check(not products(after), "no Vantorelix product is listed", products(after))

    # regsvr32 of the same DLL, in the same place: the same entries, key by key.
    os.makedirs(px.drive_c(DIR64), exist_ok=True)
    shutil.copy(dll64, px.drive_c(DIR64 + "\\Vantorelix.dll"))
    rc, out = px.run("regsvr32", "/s", DIR64 + "\\Vantorelix.dll")
    check(rc == 0, "regsvr32 of the 64-bit DLL in Program Files succeeds", out)
    # The 64-bit view. (Wine's 64-bit registration writes the interface's keys in the 32-bit
    # view too; the package's 32-bit component has them.) The type library key is shared by
    # the views, so the package's win32 key, the 32-bit DLL's, shows in the 64-bit view too.
    registered = {k: v for k, v in classes_rows(changes(before, px.registry())[0]).items() if k[0] == "64"}
    msi64 = {k: v for k, v in rows.items() if k[0] == "64" and k[1] != win32}
    missing = sorted(set(registered) - set(msi64))
    extra = sorted(set(msi64) - set(registered))
    check(not missing, "the package writes every entry that regsvr32 writes (64-bit view)", missing)
    check(not extra, "the package writes no entry that regsvr32 does not (64-bit view)", extra)
    # A server path with spaces is registered in its short form and the package writes the
    # long one; a folder may end with a backslash or not.
    differ = [(k, registered[k][1], msi64[k][1]) for k in set(registered) & set(msi64)
              if registered[k][1] != msi64[k][1] and not same_path(registered[k][1], msi64[k][1])]
    check(not differ, "every entry has the same value (a path in its long or short form)", differ)
    if reason32 is None:
        os.makedirs(px.drive_c(DIR32), exist_ok=True)
        shutil.copy(dll32, px.drive_c(DIR32 + "\\Vantorelix.dll"))
        rc, out = px.run("C:\\windows\\syswow64\\regsvr32.exe", "/s", DIR32 + "\\Vantorelix.dll")
        registered32 = {k: v for k, v in classes_rows(changes(before, px.registry())[0]).items() if k[0] == "32"}
        msi32 = {k: v for k, v in rows.items() if k[0] == "32"}
        check(set(registered32) == set(msi32), "the package's 32-bit view entries are the ones syswow64 regsvr32 writes",
              set(registered32) ^ set(msi32))
    else:
        note(f"the 32-bit DLL's entries are not compared with syswow64 regsvr32: {reason32}")
    px.run("regsvr32", "/s", "/u", DIR64 + "\\Vantorelix.dll")
    px.stop()

    if reason32 is None:
        p32 = Prefix(os.path.join(work, "wineprefix-win32"), "win32", a.source)
        p32.run("cscript", "//nologo", win_path(os.path.join(script_dir, "nothing.vbs")))
        before32 = p32.registry()
        rc, out, took = msiexec(p32, "/i", win_path(msi86), "/qn")
        check(rc == 0, f"msiexec /i x86 /qn in a win32 prefix succeeds ({took:.1f} s)", out)
        script_check(p32, script_dir, "cscript in the win32 prefix", "cscript")
        rc, out, took = msiexec(p32, "/x", win_path(msi86), "/qn")
        a32, r32 = changes(before32, p32.registry())
        check(rc == 0 and not a32 and not r32, "msiexec /x of the x86 package leaves the registry as before", a32 + r32)
        p32.stop()
    else:
        note(f"the x86 package is not installed in a win32 prefix: {reason32}; its tables were checked instead")

    note("not shown by Wine, and not tested here: per-user installs (Wine writes HKCR rows to "
         "HKLM and its COM never reads HKEY_CURRENT_USER\\Software\\Classes), repair with /fa, "
         "elevation prompts, and exit codes above 255 (Wine keeps 8 bits)")
    return finish(started)


def finish(started):
    print(f"msi tests took {time.monotonic() - started:.0f} s")
    return closing()


if __name__ == "__main__":
    sys.exit(main())
