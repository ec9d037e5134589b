#!/usr/bin/env python3
"""The COM registration of Vantorelix.dll as rows of registry values, and the installer
source that writes them.

  regrows.py diff BEFORE.reg AFTER.reg DLL_PATH     the registry difference, as rows
  regrows.py wxs --arch x64|x86 --version V --rows64 ROWS (--rows32 ROWS | --derive-32)
                                                    the installer source (WiX, for wixl)

A row is  view <TAB> key <TAB> name <TAB> value:  view is 64 or 32, the registry view of
HKEY_CLASSES_ROOT that holds it, the key is relative to HKEY_CLASSES_ROOT, the name is empty
for a key's default value, and the DLL's own path and folder are written [#DLL] and [DIR].

Windows keeps some of HKEY_CLASSES_ROOT once for both views and the rest once per view
(Windows 7 and later): CLSID and Interface are kept per view, a type library's platform key
(win32, win64) names one view's file, and everything else (the ProgID and its Clsid, the
type library's version key with FLAGS and HELPDIR) is shared. Each DLL's registration writes
some values of the other's too (the platform's RegisterTypeLib writes the Interface keys into
both views). The installer writes each value once: a shared one in a component of its own
that every DLL's feature uses, so that Windows Installer's reference counting keeps it while
either DLL is installed, and a per-view one in the component of its view's DLL.
"""
import argparse
import re
import sys
import uuid

# HKEY_CLASSES_ROOT of each view in the machine hive; the 32-bit view has two names (Wine
# writes the second, a link to the first).
CLASSES = [("32", "Software\\Wow6432Node\\Classes\\"), ("32", "Software\\Classes\\Wow6432Node\\"),
           ("64", "Software\\Classes\\")]


def unescape(text):
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            n = text[i + 1]
            if n == "x":
                m = re.match(r"x([0-9a-fA-F]{1,4})", text[i + 1:])
                out.append(chr(int(m.group(1), 16)))
                i += 1 + len(m.group(0))
                continue
            out.append({"n": "\n", "r": "\r", "t": "\t", "0": "\0"}.get(n, n))
            i += 2
            continue
        out.append(c)
        i += 1
    return "".join(out)


def read_reg(path):
    """Wine's registry file: {key: {name: value}}, string values as text, others as written."""
    keys, current = {}, None
    with open(path, encoding="utf-8", errors="surrogateescape") as f:
        for line in f:
            line = line.rstrip("\n")
            m = re.match(r"^\[(.*)\](?: \d+)?$", line)
            if m:
                current = keys.setdefault(unescape(m.group(1)), {})
                continue
            if current is None or not line or line.startswith("#") or line.startswith(";"):
                continue
            m = re.match(r'^(@|"((?:[^"\\]|\\.)*)")=(.*)$', line)
            if not m:
                continue
            name = "" if m.group(1) == "@" else unescape(m.group(2))
            raw = m.group(3)
            sm = re.match(r'^"((?:[^"\\]|\\.)*)"$', raw)
            current[name] = ("sz", unescape(sm.group(1))) if sm else ("raw", raw)
    return keys


def classes_view(key):
    for view, prefix in CLASSES:
        if key.lower().startswith(prefix.lower()):
            return view, key[len(prefix):]
    return None, None


def short_name_of(short, long):
    """An 8.3 alias that the file system may give a long name: the long name itself, or the
    start of its letters, a tilde and a tag, and the start of its extension."""
    if short.lower() == long.lower():
        return True
    m = re.fullmatch(r"([^.~]{1,6})~([0-9A-Za-z]{1,6})(?:\.([^.]{1,3}))?", short)
    if not m:
        return False
    stem, _, ext = long.rpartition(".") if "." in long else (long, "", "")
    letters = re.sub(r"[ .]", "", stem).lower()
    return letters.startswith(m.group(1).lower()) and (m.group(3) or "").lower() == ext[:3].lower()


def same_path(a, b):
    """Two absolute Windows paths that name the same file, each component in its long or short
    form; a folder may end with a backslash or not."""
    pa, pb = a.rstrip("\\").split("\\"), b.rstrip("\\").split("\\")
    return len(pa) == len(pb) and all(x.lower() == y.lower() or short_name_of(x, y) or short_name_of(y, x)
                                      for x, y in zip(pa, pb))


def diff(before_path, after_path, dll_path):
    before, after = read_reg(before_path), read_reg(after_path)
    rows, problems = [], []
    folder = dll_path.rsplit("\\", 1)[0]
    for key in sorted(after, key=str.lower):
        view, rel = classes_view(key)
        if view is None:
            continue
        old = before.get(key, {})
        for name, (kind, value) in sorted(after[key].items()):
            if old.get(name) == (kind, value):
                continue
            if kind != "sz":
                problems.append(f"{key} {name!r}: a value of another type than text ({value})")
                continue
            # The module's path, as the type library has it, or in short form, as a server
            # path with spaces is registered.
            if same_path(value, dll_path):
                value = "[#DLL]"
            elif same_path(value, folder):
                value = "[DIR]"
            rows.append((view, rel, name, value))
        for name in old:
            if name not in after[key]:
                problems.append(f"{key} {name!r}: registration removed a value")
    # (Wine's file leaves out a key without values once it has subkeys: only keys that held
    # values count.)
    for key in before:
        if classes_view(key)[0] and key not in after and before[key]:
            problems.append(f"{key}: registration removed a key")
    return rows, problems


def is_per_view(key):
    """A key that each registry view keeps apart (CLSID, Interface), or the type library's
    platform key, which names one bitness's file although the TypeLib tree is shared."""
    k = key.lower()
    return (k.startswith("clsid\\") or k.startswith("interface\\")
            or re.match(r"^typelib\\[^\\]+\\[^\\]+\\[^\\]+\\win(32|64)$", k) is not None)


def split_by_view(key):
    k = key.lower()
    return k.startswith("clsid\\") or k.startswith("interface\\")


def derive_32(rows):
    """The 32-bit DLL's per-view rows from the 64-bit DLL's: the 32-bit view, the win32 platform
    key of the type library; [#DLL] and [DIR] then name the 32-bit file."""
    out = []
    for view, key, name, value in rows:
        if view == "64" and is_per_view(key):
            out.append(("32", re.sub(r"\\win64$", r"\\win32", key, flags=re.I), name, value))
    return out


def owner(row):
    """The component that writes a row: the CLSID and Interface keys of a view belong to the DLL
    of that view's bitness, a type library platform key to the DLL it names, and the rest (the
    ProgID, the type library's version key) to the component that both DLLs' features share."""
    view, key, _, _ = row
    m = re.search(r"\\win(32|64)$", key, flags=re.I)
    if is_per_view(key) and m:
        return "Dll" + m.group(1)
    if split_by_view(key):
        return "Dll" + view
    return "SharedClasses"


def identity(row):
    """What the registry holds once: a value of a key in one view where the views are kept
    apart, and one value for both views everywhere else (the ProgID and the TypeLib tree are
    shared since Windows 7)."""
    view, key, name, _ = row
    return (view if split_by_view(key) else "both", key.lower(), name)


def components(rows64, rows32):
    """The rows of both harvests, each once, in the component that writes it. Both DLLs'
    registrations write some of the same values (the platform's RegisterTypeLib writes the
    Interface keys into both views, and the shared keys are written by whichever registers);
    a value that both write is taken once, and one that they write differently stops the build."""
    out = {"Dll64": [], "Dll32": [], "SharedClasses": []}
    seen = {}
    for row in list(rows64) + list(rows32):
        ident = identity(row)
        if ident in seen:
            if seen[ident][3] != row[3]:
                sys.exit(f"regrows: the two registrations write {row[1]} {row[2]!r} differently: "
                         f"{seen[ident][3]!r} and {row[3]!r}")
            continue
        seen[ident] = row
        out[owner(row)].append(row)
    for row in out["SharedClasses"]:
        if "[#DLL]" in row[3]:
            sys.exit(f"regrows: a key that both views share names one DLL's file: {row[1]}")
    return out


def read_rows(path):
    rows = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if line and not line.startswith("#"):
                rows.append(tuple(line.split("\t")))
    return rows


def xml(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;")


# Fixed identities: an upgrade finds the older product by its UpgradeCode, and a component
# keeps its GUID for as long as it installs the same resources to the same place in the same
# bitness, in every package that has it. The shared component is 64-bit in the x64 package and
# 32-bit in the x86 one: two components, two GUIDs.
UPGRADE_CODE = {"x64": "{5C1E6A0B-3F0E-4C6D-9B8E-2A7F1D4C9E01}",
                "x86": "{5C1E6A0B-3F0E-4C6D-9B8E-2A7F1D4C9E02}"}
COMPONENT_GUID = {("Dll64", "yes"): "{9D2B7C41-6E0A-4B5F-8C3D-1F4E7A2B6C01}",
                  ("Dll32", "no"): "{9D2B7C41-6E0A-4B5F-8C3D-1F4E7A2B6C02}",
                  ("SharedClasses", "yes"): "{9D2B7C41-6E0A-4B5F-8C3D-1F4E7A2B6C03}",
                  ("SharedClasses", "no"): "{9D2B7C41-6E0A-4B5F-8C3D-1F4E7A2B6C04}"}
PRODUCT_NAMESPACE = uuid.UUID("3E8F4B1D-2C6A-4E7B-9A5D-0B1C2D3E4F50")


def registry_values(rows, file_id, dir_id, indent, key_path=False):
    lines = []
    for i, (view, key, name, value) in enumerate(rows):
        value = value.replace("[#DLL]", f"[#{file_id}]").replace("[DIR]", f"[{dir_id}]")
        attrs = f'Root="HKCR" Key="{xml(key)}"'
        if name:
            attrs += f' Name="{xml(name)}"'
        attrs += f' Type="string" Value="{xml(value)}"'
        if key_path and i == 0:
            attrs += ' KeyPath="yes"'
        lines.append(f"{indent}<RegistryValue {attrs}/>")
    return lines


def wxs(arch, version, parts, derived32):
    """x64: both DLLs, the 64-bit one in Program Files, the 32-bit one in Program Files (x86);
    x86: the 32-bit DLL in Program Files, for 32-bit Windows only. The shared rows name the
    folder of the package's own-bitness DLL."""
    win64 = arch == "x64"
    product = "{" + str(uuid.uuid5(PRODUCT_NAMESPACE, f"Vantorelix {arch} {version}")).upper() + "}"
    dlls = []
    if win64:
        dlls.append(("Dll64", "x64", "ProgramFiles64Folder", "INSTALLDIR64", "yes", parts["Dll64"]))
    dlls.append(("Dll32", "x86", "ProgramFilesFolder", "INSTALLDIR32", "no", parts["Dll32"]))
    shared = parts["SharedClasses"]
    primary = dlls[0]
    L = ['<?xml version="1.0" encoding="utf-8"?>',
         "<!-- Written by release/regrows.py from the registry that regsvr32 leaves: do not edit.",
         "     The 64-bit DLL's rows: harvested from its registration. The 32-bit DLL's rows: " +
         ("DERIVED from the 64-bit DLL's (no 32-bit registration could run where this was made). -->"
          if derived32 else "harvested from its registration. -->"),
         '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">',
         f'  <Product Id="{product}" Name="Vantorelix" Language="1033" Version="{version}"',
         f'           Manufacturer="Vantorelix" UpgradeCode="{UPGRADE_CODE[arch]}">',
         f'    <Package Description="Vantorelix {version} ({arch}): the Vantorelix.Utils automation server"',
         '             Manufacturer="Vantorelix" InstallerVersion="200" Compressed="yes"',
         '             InstallScope="perMachine"/>',
         '    <MajorUpgrade DowngradeErrorMessage="A newer version of Vantorelix is already installed."/>',
         '    <MediaTemplate EmbedCab="yes"/>',
         '    <Directory Id="TARGETDIR" Name="SourceDir">']
    for cid, sub, parent, dir_id, _, _ in dlls:
        L.append(f'      <Directory Id="{parent}"><Directory Id="{dir_id}" Name="Vantorelix"/></Directory>')
    L.append("    </Directory>")
    for cid, sub, parent, dir_id, w64, rows in dlls:
        L += [f'    <DirectoryRef Id="{dir_id}">',
              f'      <Component Id="{cid}" Guid="{COMPONENT_GUID[cid, w64]}" Win64="{w64}">',
              f'        <File Id="{cid}.dll" Name="Vantorelix.dll" Source="{sub}/Vantorelix.dll" KeyPath="yes"/>',
              f'        <File Id="{cid}.manifest" Name="Vantorelix.manifest" Source="{sub}/Vantorelix.manifest"/>']
        L += registry_values(rows, f"{cid}.dll", dir_id, "        ")
        L += ["      </Component>", "    </DirectoryRef>"]
    cid, _, _, dir_id, w64, _ = primary
    L += [f'    <DirectoryRef Id="{dir_id}">',
          f'      <Component Id="SharedClasses" Guid="{COMPONENT_GUID["SharedClasses", w64]}" Win64="{w64}">']
    L += registry_values(shared, f"{cid}.dll", dir_id, "        ", key_path=True)
    L += ["      </Component>", "    </DirectoryRef>"]
    for cid, sub, *_ in dlls:
        title = "64-bit" if cid == "Dll64" else "32-bit"
        L += [f'    <Feature Id="{cid}" Title="Vantorelix ({title})" Level="1">',
              f'      <ComponentRef Id="{cid}"/>',
              '      <ComponentRef Id="SharedClasses"/>',
              "    </Feature>"]
    L += ["  </Product>", "</Wix>", ""]
    return "\n".join(L)


def main():
    ap = argparse.ArgumentParser()
    sub = ap.add_subparsers(dest="cmd", required=True)
    d = sub.add_parser("diff")
    d.add_argument("before"); d.add_argument("after"); d.add_argument("dll")
    w = sub.add_parser("wxs")
    w.add_argument("--arch", choices=["x64", "x86"], required=True)
    w.add_argument("--version", required=True)
    w.add_argument("--rows64", help="the 64-bit DLL's harvest")
    w.add_argument("--rows32", help="the 32-bit DLL's harvest")
    w.add_argument("--derive-32", action="store_true",
                   help="no 32-bit harvest: derive the 32-bit DLL's rows from the 64-bit one's")
    a = ap.parse_args()
    if a.cmd == "diff":
        rows, problems = diff(a.before, a.after, a.dll)
        for p in problems:
            print("regrows: " + p, file=sys.stderr)
        if problems or not rows:
            sys.exit("regrows: the registration cannot be taken over as installer rows")
        for r in rows:
            print("\t".join(r))
        return
    rows64 = read_rows(a.rows64)
    rows32 = derive_32(rows64) if a.derive_32 else read_rows(a.rows32)
    parts = components(rows64, rows32)
    if a.arch == "x86":
        # On 32-bit Windows the 32-bit view is the only one: the same keys without Wow6432Node.
        parts = {"Dll64": [], "Dll32": [("32",) + r[1:] for r in parts["Dll32"]],
                 "SharedClasses": parts["SharedClasses"]}
    sys.stdout.write(wxs(a.arch, a.version, parts, a.derive_32))

if __name__ == "__main__":
    main()
