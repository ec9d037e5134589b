#!/usr/bin/env python3
"""The winget manifests of a release, from the installer packages in its dist/ folder.

  winget.py DIST VERSION

Writes DIST/winget/VERSION/ with the three files of winget's multi-file form, manifest
version 1.10.0:
  Vantorelix.Vantorelix.yaml                 the version file (names the default locale)
  Vantorelix.Vantorelix.installer.yaml       both MSIs: x64 and x86, each with its SHA-256,
                                             its ProductCode and its UpgradeCode
  Vantorelix.Vantorelix.locale.en-US.yaml    the default locale: publisher, name, licence,
                                             description, links
The installers are DIST/Vantorelix-VERSION-x64.msi and -x86.msi; their codes are read from
each package's Property table with msitools' `msiinfo export MSI Property`.

Where the files are published, and so the addresses in the manifests:
  VANTORELIX_PROJECT_URL   the project's home page
                           (default https://github.com/vantorelix/vantorelix)
  VANTORELIX_RELEASE_URL   the folder that holds the release files: each InstallerUrl is
                           this address, a slash and the file's name
                           (default PROJECT_URL/releases/download/vVERSION)

The same packages and addresses give the same bytes: no time, no path of this machine.
"""
import hashlib
import os
import re
import subprocess
import sys

IDENTIFIER = "Vantorelix.Vantorelix"
MANIFEST_VERSION = "1.10.0"
LOCALE = "en-US"
SCHEMA = "https://aka.ms/winget-manifest.{}." + MANIFEST_VERSION + ".schema.json"
DEFAULT_PROJECT_URL = "https://github.com/vantorelix/vantorelix"
# Each package by the suffix of its file name: its architecture in winget's words, and the
# systems it is not for. The x64 package serves 64-bit Windows (both DLLs; on Windows on Arm
# the x64 DLL under emulation and the x86 one in SysWOW64 hosts); the x86 package is for
# 32-bit Windows only.
ARCHITECTURES = [("x64", "x64", []), ("x86", "x86", ["x64", "arm64"])]
TAGS = ["activex", "automation", "com", "jscript", "ole", "scripting", "vba", "vbscript"]
SHORT_DESCRIPTION = ("The Vantorelix.Utils automation object: pauses, sounds, screen, colours, GUIDs, "
                     "error texts, paths and file times for VBScript, JScript, VBA and PowerShell.")
DESCRIPTION = ("Vantorelix.dll is an in-process OLE Automation server in 32 and 64 bit. Its object "
               "Vantorelix.Utils gives scripts the system services they lack. The package installs "
               "the 64-bit DLL for 64-bit hosts and the 32-bit DLL for 32-bit hosts (the x86 package: "
               "the 32-bit DLL on 32-bit Windows), both registered per machine.")


def msi_properties(msi):
    """The Property table of a package: {name: value}."""
    p = subprocess.run(["msiinfo", "export", msi, "Property"], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if p.returncode != 0:
        sys.exit(f"winget: msiinfo export {msi} Property failed: {p.stderr.decode('utf-8', 'replace').strip()}")
    rows = p.stdout.decode("utf-8", "replace").replace("\r", "").split("\n")
    # The export's first three lines are the column names, their types and the table's name.
    props = {}
    for row in rows[3:]:
        if "\t" in row:
            name, value = row.split("\t", 1)
            props[name] = value
    return props


def sha256(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest().upper()


def licence(source):
    """The licence's identifier and copyright line, from LICENSE."""
    with open(os.path.join(source, "LICENSE"), encoding="utf-8") as f:
        text = f.read()
    first = text.strip().split("\n", 1)[0].strip()
    m = re.fullmatch(r"(\S+) License", first)
    if not m:
        sys.exit(f"winget: LICENSE starts with {first!r}, not '<identifier> License'")
    c = re.search(r"^Copyright .*$", text, re.M)
    return m.group(1), c.group(0).strip() if c else None


# A scalar that YAML reads as the same text without quotes: it starts with a letter, holds no
# character that starts a YAML construct or a comment, and is no word that YAML reads as a
# boolean or null. A version of three or more numbers stays plain too (no number has two dots).
PLAIN = re.compile(r"[A-Za-z][A-Za-z0-9 ._/:,()+=-]*|[0-9]+(\.[0-9]+){2,}")
RESERVED = {"true", "false", "yes", "no", "on", "off", "y", "n", "null"}


def scalar(value):
    if (PLAIN.fullmatch(value) and value.lower() not in RESERVED and ": " not in value
            and not value.endswith((" ", ":"))):
        return value
    return "'" + value.replace("'", "''") + "'"


def emit(pairs, indent=""):
    """Block YAML of a list of (key, value) pairs: a value is a text, a list of texts or a list of
    lists of pairs (a sequence of mappings)."""
    out = []
    for key, value in pairs:
        if isinstance(value, str):
            out.append(f"{indent}{key}: {scalar(value)}")
            continue
        out.append(f"{indent}{key}:")
        for item in value:
            if isinstance(item, str):
                out.append(f"{indent}- {scalar(item)}")
            else:
                lines = emit(item, indent + "  ")
                out.append(f"{indent}- {lines[0][len(indent) + 2:]}")
                out += lines[1:]
    return out


def document(manifest_type, pairs):
    lines = ["# Written by release/winget.py from the release's installer packages.",
             f"# yaml-language-server: $schema={SCHEMA.format(manifest_type)}", ""]
    lines += emit(pairs + [("ManifestType", manifest_type), ("ManifestVersion", MANIFEST_VERSION)])
    return "\n".join(lines) + "\n"


def manifests(dist, version, source, environ):
    project = environ.get("VANTORELIX_PROJECT_URL") or DEFAULT_PROJECT_URL
    project = project.rstrip("/")
    base = (environ.get("VANTORELIX_RELEASE_URL") or f"{project}/releases/download/v{version}").rstrip("/")
    head = [("PackageIdentifier", IDENTIFIER), ("PackageVersion", version)]

    installers = []
    for suffix, architecture, unsupported in ARCHITECTURES:
        name = f"Vantorelix-{version}-{suffix}.msi"
        msi = os.path.join(dist, name)
        if not os.path.isfile(msi):
            sys.exit(f"winget: {msi} is missing")
        props = msi_properties(msi)
        for needed in ("ProductCode", "UpgradeCode", "ProductVersion"):
            if not props.get(needed):
                sys.exit(f"winget: {name} has no {needed} in its Property table")
        if props["ProductVersion"] != version:
            sys.exit(f"winget: {name} has ProductVersion {props['ProductVersion']}, not {version}")
        entry = [("Architecture", architecture)]
        if unsupported:
            entry.append(("UnsupportedOSArchitectures", unsupported))
        entry += [("InstallerUrl", f"{base}/{name}"),
                  ("InstallerSha256", sha256(msi)),
                  ("ProductCode", props["ProductCode"]),
                  ("AppsAndFeaturesEntries", [[("UpgradeCode", props["UpgradeCode"])]])]
        installers.append(entry)

    licence_id, copyright_line = licence(source)
    locale = head + [("PackageLocale", LOCALE),
                     ("Publisher", "Vantorelix"),
                     ("PublisherUrl", project),
                     ("PackageName", "Vantorelix"),
                     ("PackageUrl", project),
                     ("License", licence_id),
                     ("LicenseUrl", f"{project}/blob/v{version}/LICENSE")]
    if copyright_line:
        locale.append(("Copyright", copyright_line))
    locale += [("ShortDescription", SHORT_DESCRIPTION),
               ("Description", DESCRIPTION),
               ("Moniker", "vantorelix"),
               ("Tags", TAGS),
               ("ReleaseNotesUrl", f"{project}/releases/tag/v{version}")]

    return {
        f"{IDENTIFIER}.yaml": document("version", head + [("DefaultLocale", LOCALE)]),
        f"{IDENTIFIER}.installer.yaml": document("installer", head + [
            ("InstallerType", "wix"), ("Scope", "machine"), ("UpgradeBehavior", "install"),
            ("Installers", installers)]),
        f"{IDENTIFIER}.locale.{LOCALE}.yaml": document("defaultLocale", locale),
    }


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: release/winget.py DIST VERSION")
    dist, version = sys.argv[1], sys.argv[2]
    source = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    files = manifests(dist, version, source, os.environ)
    out = os.path.join(dist, "winget", version)
    os.makedirs(out, exist_ok=True)
    for name in os.listdir(out):
        if name.endswith(".yaml"):
            os.remove(os.path.join(out, name))
    for name, text in sorted(files.items()):
        with open(os.path.join(out, name), "w", encoding="utf-8", newline="\n") as f:
            f.write(text)
        print(f"winget: {os.path.join(out, name)}")


if __name__ == "__main__":
    main()
