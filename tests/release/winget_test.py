#!/usr/bin/env python3
"""The winget manifests that release/winget.py writes, held against winget's rules for
manifest schema 1.10.0 and against the installer packages they describe.

  winget_test.py --source SRC --win32 TREE --win64 TREE --version V --work DIR

Builds the two packages of this version with release/build-msi into DIR (a folder of its own:
the test does not wait for, or depend on, the install tests of release_msi), lays them out
as scripts/package does in dist/, and runs release/winget.py on them. Then:
  - the checker below finds nothing wrong in the three files, with the default addresses and
    with a release address given in VANTORELIX_RELEASE_URL;
  - the same packages give the same bytes twice;
  - altered copies (a wrong hash, a bad identifier, a missing required field, and more) are
    each refused by the checker with a message naming the fault, so that it is shown able to
    fail.
The files are read with PyYAML (Debian's python3-yaml), a YAML reader independent of the
writer, and every value must come back as the text it is in winget's schema.
Closes with "N passed, N failed".
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import urllib.parse
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from verdict import check, closing, fresh_work_folder, release_test_arguments  # noqa: E402  (one PASS/FAIL verdict for the release tests)

try:
    import yaml
except ImportError:  # reported as a failure in main()
    yaml = None

MANIFEST_VERSION = "1.10.0"
SCHEMA_HEADER = "# yaml-language-server: $schema=https://aka.ms/winget-manifest.{}.1.10.0.schema.json"

# winget's manifest schema 1.10.0: patterns, lengths and enumerations.
IDENTIFIER = re.compile(r'[^\.\s\\/:\*\?"<>\|\x01-\x1f]{1,32}(\.[^\.\s\\/:\*\?"<>\|\x01-\x1f]{1,32}){1,7}')
VERSION = re.compile(r'[^\\/:\*\?"<>\|\x01-\x1f]+')
LOCALE = re.compile(r"([a-zA-Z]{2,3}|[iI]-[a-zA-Z]+|[xX]-[a-zA-Z]{1,8})(-[a-zA-Z]{1,8})*")
MANIFEST_VERSION_PATTERN = re.compile(r"(0|[1-9][0-9]{0,4})(\.(0|[1-9][0-9]{0,4})){2}")
SHA256 = re.compile(r"[A-Fa-f0-9]{64}")
URL = re.compile(r"([Hh][Tt][Tt][Pp][Ss]?)://.+")
GUID = re.compile(r"\{[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}\}")
TAG = re.compile(r"\S+")
ARCHITECTURES = {"x86", "x64", "arm", "arm64", "neutral"}
INSTALLER_TYPES = {"msix", "msi", "appx", "exe", "zip", "inno", "nullsoft", "wix", "burn", "pwa", "portable"}
SCOPES = {"user", "machine"}
UPGRADE_BEHAVIORS = {"install", "uninstallPrevious", "deny"}

# Texts with their length limits (the schema's minLength and maxLength).
LENGTHS = {"PackageIdentifier": (1, 128), "PackageVersion": (1, 128), "DefaultLocale": (1, 20),
           "PackageLocale": (1, 20), "Publisher": (2, 256), "PackageName": (2, 256),
           "License": (3, 512), "Copyright": (3, 512), "ShortDescription": (3, 256),
           "Description": (3, 10000), "Author": (2, 256), "ProductCode": (1, 255),
           "UpgradeCode": (1, 255), "Moniker": (1, 40), "Tags": (1, 40)}
URL_FIELDS = {"InstallerUrl", "PublisherUrl", "PublisherSupportUrl", "PrivacyUrl", "PackageUrl",
              "LicenseUrl", "CopyrightUrl", "ReleaseNotesUrl", "PurchaseUrl"}

# The properties each file may have (the schema allows no other) and those it must have.
VERSION_KEYS = {"PackageIdentifier", "PackageVersion", "DefaultLocale", "ManifestType", "ManifestVersion"}
VERSION_REQUIRED = VERSION_KEYS
LOCALE_KEYS = {"PackageIdentifier", "PackageVersion", "PackageLocale", "Publisher", "PublisherUrl",
               "PublisherSupportUrl", "PrivacyUrl", "Author", "PackageName", "PackageUrl", "License",
               "LicenseUrl", "Copyright", "CopyrightUrl", "ShortDescription", "Description", "Moniker",
               "Tags", "Agreements", "ReleaseNotes", "ReleaseNotesUrl", "PurchaseUrl", "InstallationNotes",
               "Documentations", "Icons", "ManifestType", "ManifestVersion"}
LOCALE_REQUIRED = {"PackageIdentifier", "PackageVersion", "PackageLocale", "Publisher", "PackageName",
                   "License", "ShortDescription", "ManifestType", "ManifestVersion"}
# What an installer entry and the installer file's root share (a root value is every entry's
# default).
INSTALLER_COMMON = {"InstallerLocale", "Platform", "MinimumOSVersion", "InstallerType", "NestedInstallerType",
                    "NestedInstallerFiles", "Scope", "InstallModes", "InstallerSwitches", "InstallerSuccessCodes",
                    "ExpectedReturnCodes", "UpgradeBehavior", "Commands", "Protocols", "FileExtensions",
                    "Dependencies", "PackageFamilyName", "ProductCode", "Capabilities", "RestrictedCapabilities",
                    "Markets", "InstallerAbortsTerminal", "ReleaseDate", "InstallLocationRequired",
                    "RequireExplicitUpgrade", "DisplayInstallWarnings", "UnsupportedOSArchitectures",
                    "UnsupportedArguments", "AppsAndFeaturesEntries", "ElevationRequirement",
                    "InstallationMetadata", "DownloadCommandProhibited", "RepairBehavior",
                    "ArchiveBinariesDependOnPath", "Authentication"}
INSTALLER_KEYS = INSTALLER_COMMON | {"PackageIdentifier", "PackageVersion", "Channel", "Installers",
                                     "ManifestType", "ManifestVersion"}
INSTALLER_REQUIRED = {"PackageIdentifier", "PackageVersion", "Installers", "ManifestType", "ManifestVersion"}
ENTRY_KEYS = INSTALLER_COMMON | {"Architecture", "InstallerUrl", "InstallerSha256", "SignatureSha256", "Channel"}
ENTRY_REQUIRED = {"Architecture", "InstallerUrl", "InstallerSha256"}
APPS_AND_FEATURES_KEYS = {"DisplayName", "Publisher", "DisplayVersion", "ProductCode", "UpgradeCode", "InstallerType"}

# The package's platform in its summary information, by winget's architecture.
MSI_PLATFORM = {"x64": "x64", "x86": "Intel"}



def msi_properties(msi):
    p = subprocess.run(["msiinfo", "export", msi, "Property"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    rows = p.stdout.decode("utf-8", "replace").replace("\r", "").split("\n")[3:]
    return dict(r.split("\t", 1) for r in rows if "\t" in r)


def msi_platform(msi):
    out = subprocess.run(["msiinfo", "suminfo", msi], stdout=subprocess.PIPE).stdout.decode("utf-8", "replace")
    m = re.search(r"^Template: ([^;\r\n]*)", out, re.M)
    return m.group(1) if m else None


def file_sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


class Checker:
    """The problems of one manifest folder, each a line naming the file and the field."""

    def __init__(self):
        self.problems = []

    def bad(self, where, text):
        self.problems.append(f"{where}: {text}")

    def text(self, where, key, value, pattern=None, lowercase=False):
        """A text value: a string (not a number or a boolean that YAML read), within its length
        limits and its pattern."""
        if not isinstance(value, str):
            self.bad(where, f"{key} is {value!r} ({type(value).__name__}), not a text")
            return
        low, high = LENGTHS.get(key, (1, 2048 if key in URL_FIELDS else 10000))
        if not low <= len(value) <= high:
            self.bad(where, f"{key} has {len(value)} characters, not {low} to {high}")
        if pattern is not None and not pattern.fullmatch(value):
            self.bad(where, f"{key} {value!r} does not match {pattern.pattern}")
        if key in URL_FIELDS and not URL.fullmatch(value):
            self.bad(where, f"{key} {value!r} is no http or https address")
        if lowercase and value != value.lower():
            self.bad(where, f"{key} {value!r} has capitals (winget's tags and monikers are lowercase)")

    def keys(self, where, doc, allowed, required):
        for k in sorted(required - set(doc)):
            self.bad(where, f"required field {k} is missing")
        for k in sorted(set(doc) - allowed):
            self.bad(where, f"field {k} is not one of the schema's")

    def common(self, where, doc, manifest_type):
        self.text(where, "PackageIdentifier", doc.get("PackageIdentifier", ""), IDENTIFIER)
        self.text(where, "PackageVersion", doc.get("PackageVersion", ""), VERSION)
        if doc.get("ManifestType") != manifest_type:
            self.bad(where, f"ManifestType is {doc.get('ManifestType')!r}, not {manifest_type!r}")
        mv = doc.get("ManifestVersion")
        if not (isinstance(mv, str) and MANIFEST_VERSION_PATTERN.fullmatch(mv)) or mv != MANIFEST_VERSION:
            self.bad(where, f"ManifestVersion is {mv!r}, not {MANIFEST_VERSION}")
        for k in sorted(URL_FIELDS & set(doc)):
            self.text(where, k, doc[k])

    def version_file(self, where, doc):
        self.keys(where, doc, VERSION_KEYS, VERSION_REQUIRED)
        self.common(where, doc, "version")
        self.text(where, "DefaultLocale", doc.get("DefaultLocale", ""), LOCALE)

    def locale_file(self, where, doc):
        self.keys(where, doc, LOCALE_KEYS, LOCALE_REQUIRED)
        self.common(where, doc, "defaultLocale")
        self.text(where, "PackageLocale", doc.get("PackageLocale", ""), LOCALE)
        for k in ("Publisher", "PackageName", "License", "ShortDescription", "Description", "Copyright", "Author"):
            if k in doc or k in LOCALE_REQUIRED:
                self.text(where, k, doc.get(k, ""))
        if "Moniker" in doc:
            self.text(where, "Moniker", doc["Moniker"], TAG, lowercase=True)
        tags = doc.get("Tags", [])
        if not isinstance(tags, list):
            self.bad(where, f"Tags is {tags!r}, not a list")
            tags = []
        if len(tags) > 16:
            self.bad(where, f"Tags has {len(tags)} entries, more than 16")
        if len(set(map(str, tags))) != len(tags):
            self.bad(where, "Tags has an entry twice")
        for t in tags:
            self.text(where, "Tags", t, TAG, lowercase=True)

    def installer_file(self, where, doc, dist):
        self.keys(where, doc, INSTALLER_KEYS, INSTALLER_REQUIRED)
        self.common(where, doc, "installer")
        entries = doc.get("Installers")
        if not isinstance(entries, list) or not entries:
            self.bad(where, "Installers is not a list of at least one installer")
            return
        seen = set()
        for i, entry in enumerate(entries):
            at = f"{where} Installers[{i}]"
            if not isinstance(entry, dict):
                self.bad(at, "is not a mapping")
                continue
            self.keys(at, entry, ENTRY_KEYS, ENTRY_REQUIRED)
            # A value at the root is the default of every entry.
            field = lambda k: entry.get(k, doc.get(k))  # noqa: E731
            arch = entry.get("Architecture")
            if arch not in ARCHITECTURES:
                self.bad(at, f"Architecture {arch!r} is not one of {sorted(ARCHITECTURES)}")
            kind = field("InstallerType")
            if kind not in INSTALLER_TYPES:
                self.bad(at, f"InstallerType {kind!r} is not one of {sorted(INSTALLER_TYPES)}")
            scope = field("Scope")
            if scope is not None and scope not in SCOPES:
                self.bad(at, f"Scope {scope!r} is not one of {sorted(SCOPES)}")
            behaviour = field("UpgradeBehavior")
            if behaviour is not None and behaviour not in UPGRADE_BEHAVIORS:
                self.bad(at, f"UpgradeBehavior {behaviour!r} is not one of {sorted(UPGRADE_BEHAVIORS)}")
            unsupported = field("UnsupportedOSArchitectures") or []
            if (not isinstance(unsupported, list) or len(set(map(str, unsupported))) != len(unsupported)
                    or not set(unsupported) <= ARCHITECTURES - {"neutral"}):
                self.bad(at, f"UnsupportedOSArchitectures {unsupported!r} is not a list of distinct x86, x64, arm, arm64")
            key = (arch, kind, scope, field("InstallerLocale"))
            if key in seen:
                self.bad(at, f"a second installer for {key}: winget cannot tell them apart")
            seen.add(key)
            url, digest = entry.get("InstallerUrl", ""), entry.get("InstallerSha256", "")
            self.text(at, "InstallerUrl", url)
            self.text(at, "InstallerSha256", digest, SHA256)
            if isinstance(digest, str) and digest != digest.upper():
                self.bad(at, "InstallerSha256 is not in capitals (the release's own rule)")
            product = field("ProductCode")
            if product is None:
                self.bad(at, "no ProductCode: winget could not tell that the package is installed")
            else:
                self.text(at, "ProductCode", product, GUID)
            arp = entry.get("AppsAndFeaturesEntries", doc.get("AppsAndFeaturesEntries", []))
            upgrades = []
            for j, a in enumerate(arp if isinstance(arp, list) else [None]):
                if not isinstance(a, dict):
                    self.bad(at, f"AppsAndFeaturesEntries[{j}] is not a mapping")
                    continue
                for k in sorted(set(a) - APPS_AND_FEATURES_KEYS):
                    self.bad(at, f"AppsAndFeaturesEntries[{j}] field {k} is not one of the schema's")
                if "UpgradeCode" in a:
                    self.text(at, "UpgradeCode", a["UpgradeCode"], GUID)
                    upgrades.append(a["UpgradeCode"])
            if not upgrades:
                self.bad(at, "no UpgradeCode under AppsAndFeaturesEntries")

            # The package itself: the file the address names, in dist/.
            name = urllib.parse.unquote(str(url).rsplit("/", 1)[-1])
            msi = os.path.join(dist, name)
            if not os.path.isfile(msi):
                self.bad(at, f"InstallerUrl names {name}, which is not in the release")
                continue
            if isinstance(digest, str) and digest.lower() != file_sha256(msi):
                self.bad(at, f"InstallerSha256 does not match {name} ({file_sha256(msi).upper()})")
            props = msi_properties(msi)
            if product is not None and str(product).upper() != props.get("ProductCode", "").upper():
                self.bad(at, f"ProductCode {product} is not {name}'s ({props.get('ProductCode')})")
            if upgrades and any(str(u).upper() != props.get("UpgradeCode", "").upper() for u in upgrades):
                self.bad(at, f"UpgradeCode {upgrades} is not {name}'s ({props.get('UpgradeCode')})")
            if props.get("ProductVersion") != doc.get("PackageVersion"):
                self.bad(at, f"{name} is version {props.get('ProductVersion')}, the manifest's {doc.get('PackageVersion')}")
            if arch in MSI_PLATFORM and msi_platform(msi) != MSI_PLATFORM[arch]:
                self.bad(at, f"{name} is a package for {msi_platform(msi)}, not for {arch}")


def kind_of(name):
    """The kind of a manifest file by its name: <identifier>.installer.yaml,
    <identifier>.locale.<locale>.yaml, or <identifier>.yaml, the version file."""
    if not name.endswith(".yaml"):
        return None
    if name.endswith(".installer.yaml"):
        return "installer"
    if re.search(r"\.locale\.[^.]+\.yaml$", name):
        return "locale"
    return "version"


def check_folder(folder, dist):
    """Every problem of the manifests in one folder, as lines; none for a good one."""
    c = Checker()
    docs = {}
    names = sorted(os.listdir(folder))
    version_files = [n for n in names if kind_of(n) == "version"]
    if len(version_files) != 1:
        c.bad(folder, f"not one version file <identifier>.yaml but {version_files}")
        return c.problems
    identifier = version_files[0][:-len(".yaml")]
    expected = {"version": f"{identifier}.yaml", "installer": f"{identifier}.installer.yaml"}
    for kind, name in expected.items():
        if name not in names:
            c.bad(folder, f"{name} is missing")
    for name in names:
        with open(os.path.join(folder, name), encoding="utf-8") as f:
            text = f.read()
        try:
            doc = yaml.safe_load(text)
        except yaml.YAMLError as e:
            c.bad(name, f"is not YAML: {e}")
            continue
        if not isinstance(doc, dict):
            c.bad(name, "is not a mapping")
            continue
        docs[name] = (doc, text)
    version = docs.get(expected["version"], ({}, ""))[0]
    locale = version.get("DefaultLocale")
    expected["defaultLocale"] = f"{identifier}.locale.{locale}.yaml"
    if expected["defaultLocale"] not in names:
        c.bad(folder, f"the default locale's file {expected['defaultLocale']} is missing")
    for name in names:
        if name not in expected.values():
            c.bad(folder, f"{name} is no file of this manifest")
    for kind, name in expected.items():
        if name not in docs:
            continue
        doc, text = docs[name]
        header = SCHEMA_HEADER.format(kind)
        if header not in text.split("\n"):
            c.bad(name, f"has no line {header!r}")
        if kind == "version":
            c.version_file(name, doc)
        elif kind == "installer":
            c.installer_file(name, doc, dist)
        else:
            c.locale_file(name, doc)
            if doc.get("PackageLocale") != locale:
                c.bad(name, f"PackageLocale {doc.get('PackageLocale')!r} is not the DefaultLocale {locale!r}")
        for k, want in (("PackageIdentifier", identifier), ("PackageVersion", version.get("PackageVersion"))):
            if doc.get(k) != want:
                c.bad(name, f"{k} {doc.get(k)!r} differs from {want!r} (the version file and the file names)")
    if os.path.basename(os.path.normpath(folder)) != str(version.get("PackageVersion")):
        c.bad(folder, f"the folder is not named after PackageVersion {version.get('PackageVersion')!r}")
    return c.problems


def run_winget(source, dist, version, **env):
    environ = {k: v for k, v in os.environ.items() if not k.startswith("VANTORELIX_")}
    environ.update(env)
    p = subprocess.run([sys.executable, os.path.join(source, "release", "winget.py"), dist, version],
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=environ)
    out = p.stdout.decode("utf-8", "replace")
    return p.returncode, out, os.path.join(dist, "winget", version)


def read_folder(folder):
    return {n: open(os.path.join(folder, n), "rb").read() for n in sorted(os.listdir(folder))}


# Altered copies: (what, which file (version, installer, locale or all), the change of its text,
# a word that the refusal must contain).
def sub(pattern, repl, count=1):
    def change(text):
        new = re.sub(pattern, repl, text, count=count, flags=re.M)
        if new == text:
            raise AssertionError(f"the alteration {pattern!r} changed nothing")
        return new
    return change


def wrong_hash(text):
    def flip(m):
        d = m.group(2)
        return m.group(1) + ("0" if d[0] != "0" else "1") + d[1:]
    return sub(r"^(\s*InstallerSha256: '?)([0-9A-F]{64})", flip)(text)


ALTERATIONS = [
    ("a hash that is not the file's", "installer", wrong_hash, "InstallerSha256 does not match"),
    ("a hash of 63 digits", "installer", sub(r"^(\s*InstallerSha256: '?)[0-9A-F]", r"\1"), "InstallerSha256"),
    ("an identifier of one part", "all", sub(r"^PackageIdentifier: .*$", "PackageIdentifier: Vantorelix"),
     "PackageIdentifier"),
    ("an identifier with a space", "installer", sub(r"^PackageIdentifier: .*$", "PackageIdentifier: Vantorelix.Vantor elix"),
     "PackageIdentifier"),
    ("no License", "locale", sub(r"^License: .*\n", ""), "required field License"),
    ("no ShortDescription", "locale", sub(r"^ShortDescription: .*\n", ""), "required field ShortDescription"),
    ("no DefaultLocale", "version", sub(r"^DefaultLocale: .*\n", ""), "DefaultLocale"),
    ("no Architecture", "installer", sub(r"^- Architecture: x64\n  ", "- "), "required field Architecture"),
    ("no InstallerUrl", "installer", sub(r"^  InstallerUrl: .*\n", ""), "required field InstallerUrl"),
    ("another version in one file", "installer", sub(r"^PackageVersion: .*$", "PackageVersion: 9.9.9"),
     "differs"),
    ("the two ProductCodes swapped", "installer",
     lambda t: re.sub(r"ProductCode: '(\{[^']*\})'(.*?)ProductCode: '(\{[^']*\})'",
                      r"ProductCode: '\3'\2ProductCode: '\1'", t, count=1, flags=re.S), "ProductCode"),
    ("an UpgradeCode without braces", "installer", sub(r"UpgradeCode: '\{([^}]*)\}'", r"UpgradeCode: '\1'"),
     "UpgradeCode"),
    ("an Architecture winget does not know", "installer", sub(r"Architecture: x64", "Architecture: amd64"),
     "Architecture"),
    ("an InstallerType winget does not know", "installer", sub(r"^InstallerType: wix", "InstallerType: wixl"),
     "InstallerType"),
    ("a Scope winget does not know", "installer", sub(r"^Scope: machine", "Scope: system"), "Scope"),
    ("the wrong ManifestType", "version", sub(r"^ManifestType: version", "ManifestType: installer"), "ManifestType"),
    ("another ManifestVersion", "locale", sub(r"^ManifestVersion: .*$", "ManifestVersion: 1.9.0"), "ManifestVersion"),
    ("a version that YAML reads as a number", "all", sub(r"^PackageVersion: .*$", "PackageVersion: 1.10"),
     "not a text"),
    ("an ftp address", "locale", sub(r"^LicenseUrl: .*$", "LicenseUrl: ftp://example.org/LICENSE"), "LicenseUrl"),
    ("a ShortDescription of two letters", "locale", sub(r"^ShortDescription: .*$", "ShortDescription: ab"),
     "ShortDescription"),
    ("a tag with capitals", "locale", sub(r"^- com$", "- COM"), "capitals"),
    ("a Moniker with a space", "locale", sub(r"^Moniker: .*$", "Moniker: 'vantor elix'"), "Moniker"),
    ("a field the schema does not have", "locale", sub(r"^License: ", "Licence: MIT\nLicense: "), "Licence"),
    ("no schema line", "installer", sub(r"^# yaml-language-server: .*\n", ""), "yaml-language-server"),
    ("a system architecture winget does not know", "installer", sub(r"^  - arm64$", "  - aarch64"),
     "UnsupportedOSArchitectures"),
    ("an address naming a file not in the release", "installer", sub(r"-x86\.msi$", "-arm64.msi"),
     "not in the release"),
]


def pick(name, which):
    return which == "all" or kind_of(name) == which


def main():
    a = release_test_arguments()
    if not check(yaml is not None, "PyYAML reads the manifests (Debian: python3-yaml)"):
        return finish()
    work = fresh_work_folder(a)
    v = a.version

    p = subprocess.run([os.path.join(a.source, "release", "build-msi"), os.path.join(work, "msi"), v, a.win32, a.win64],
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    print(p.stdout.decode("utf-8", "replace").rstrip())
    if not check(p.returncode == 0, f"release/build-msi builds the {v} packages"):
        return finish()
    dists = {}
    for tag in ("default", "given", "again"):
        dists[tag] = os.path.join(work, tag, "dist")
        os.makedirs(dists[tag])
        for arch in ("x64", "x86"):
            shutil.copy(os.path.join(work, "msi", f"Vantorelix-{v}-{arch}.msi"), dists[tag])

    # The default addresses, and a release address of one's own (a slash at its end is no
    # second slash in the addresses).
    given = "https://downloads.example.org/vantorelix/releases/" + v + "/"
    runs = {"default": {}, "given": {"VANTORELIX_RELEASE_URL": given}, "again": {}}
    folders = {}
    for tag, env in runs.items():
        rc, out, folder = run_winget(a.source, dists[tag], v, **env)
        check(rc == 0, f"release/winget.py writes the manifests ({tag} addresses)", out)
        folders[tag] = folder
    for tag in ("default", "given"):
        problems = check_folder(folders[tag], dists[tag])
        check(not problems, f"the manifests with the {tag} addresses follow winget's 1.10.0 rules and match the packages",
              "\n      ".join(problems))
    check(sorted(os.listdir(folders["default"])) == ["Vantorelix.Vantorelix.installer.yaml",
                                                    "Vantorelix.Vantorelix.locale.en-US.yaml",
                                                    "Vantorelix.Vantorelix.yaml"],
          f"dist/winget/{v}/ holds the version, installer and default locale files", os.listdir(folders["default"]))
    check(read_folder(folders["default"]) == read_folder(folders["again"]), "the same packages give the same bytes")

    inst = {t: yaml.safe_load(open(os.path.join(folders[t], "Vantorelix.Vantorelix.installer.yaml")))
            for t in ("default", "given")}
    loc = yaml.safe_load(open(os.path.join(folders["default"], "Vantorelix.Vantorelix.locale.en-US.yaml")))
    urls = {t: sorted(e["InstallerUrl"] for e in inst[t]["Installers"]) for t in inst}
    documented = f"https://github.com/vantorelix/vantorelix/releases/download/v{v}/"
    check(urls["default"] == [f"{documented}Vantorelix-{v}-{x}.msi" for x in ("x64", "x86")],
          "without VANTORELIX_RELEASE_URL the installers are under the documented release address", urls["default"])
    check(urls["given"] == [f"{given}Vantorelix-{v}-{x}.msi" for x in ("x64", "x86")],
          "VANTORELIX_RELEASE_URL is the installers' folder", urls["given"])
    arches = {e["Architecture"]: e for e in inst["default"]["Installers"]}
    check(sorted(arches) == ["x64", "x86"] and inst["default"].get("InstallerType") == "wix"
          and inst["default"].get("Scope") == "machine",
          "two installers, x64 and x86, of type wix, per machine", sorted(arches))
    check(arches.get("x64", {}).get("ProductCode") != arches.get("x86", {}).get("ProductCode"),
          "the two packages have ProductCodes of their own")
    with open(os.path.join(a.source, "LICENSE"), encoding="utf-8") as f:
        first = f.readline().strip()
    check(first == f"{loc.get('License')} License", "License is the licence that LICENSE names", (first, loc.get("License")))

    # The checker refuses altered copies, each for the fault put in.
    for what, which, change, word in ALTERATIONS:
        copy = os.path.join(work, "altered", re.sub(r"\W+", "-", what), v)
        shutil.copytree(folders["default"], copy)
        try:
            for name in os.listdir(copy):
                if pick(name, which):
                    path = os.path.join(copy, name)
                    with open(path, encoding="utf-8") as f:
                        text = f.read()
                    with open(path, "w", encoding="utf-8", newline="\n") as f:
                        f.write(change(text))
        except AssertionError as e:
            check(False, f"altered copy ({what}) could be made", str(e))
            continue
        problems = check_folder(copy, dists["default"])
        check(any(word in p for p in problems), f"the checker refuses {what}",
              "\n      ".join(problems) or "no problem found")
    return finish()


def finish():
    return closing()


if __name__ == "__main__":
    sys.exit(main())
