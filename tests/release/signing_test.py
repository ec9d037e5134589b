#!/usr/bin/env python3
"""The release's signatures (release/sign), with a certificate authority and a timestamp
authority of the test's own.

In the work folder: a throw-away certificate authority, a code-signing certificate from it
(and one that has expired), and a timestamp authority (`openssl ts -reply` behind an HTTP
server on 127.0.0.1, started and stopped here). Then, in the order scripts/package takes:
  - both DLLs are signed, the installer packages are built from the signed DLLs with
    release/build-msi and signed too; each of the four verifies with its timestamp against
    the test's authorities (and not against another authority), and taking the signature off
    gives back the unsigned bytes; one flipped byte in a signed DLL fails verification;
  - the signed 64-bit DLL registers with regsvr32 in a fresh win64 prefix and serves a script
    under cscript; the signed x64 package installs with msiexec /qn (its DLL the signed one),
    serves a 64-bit host, and uninstalls;
  - a wrong password, a missing PKCS#12 file, a missing file to sign, an expired certificate
    and a timestamp authority that does not answer each stop the signing with a message and
    leave every file as it was; scripts/package stops before it writes dist/;
  - a key on a PKCS#11 token (SoftHSM's, where it is installed) signs too, and a wrong PIN
    stops it;
  - the test kit's programs and DLLs are signed inside the kit.
The packages' 32-bit rows are derived from the 64-bit DLL's (build-msi --reuse-harvest with the
64-bit harvest only): the rows are release_msi's subject, the signatures this test's.
Closes with "N passed, N failed".
"""
import http.server
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import zipfile
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from verdict import check, closing, fresh_work_folder, release_test_arguments  # noqa: E402  (one PASS/FAIL verdict for the release tests)

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from msi_test import Prefix, win_path  # noqa: E402  (the Wine prefix of the installer tests)

DIR64 = "C:\\Program Files\\Vantorelix"
IDENTITY_VARS = ("VANTORELIX_SIGN_PKCS12", "VANTORELIX_SIGN_PASSWORD_FILE", "VANTORELIX_SIGN_PKCS11_MODULE",
                 "VANTORELIX_SIGN_PKCS11_KEY", "VANTORELIX_SIGN_CERT", "VANTORELIX_SIGN_PKCS11_ENGINE",
                 "VANTORELIX_TIMESTAMP_URL", "VANTORELIX_SIGN_CACHE", "VANTORELIX_SIGN_REPLAY")


def run(*args, env=None, cwd=None):
    p = subprocess.run(list(args), stdout=subprocess.PIPE, stderr=subprocess.STDOUT, env=env, cwd=cwd)
    return p.returncode, p.stdout.decode("utf-8", "replace")


def must(*args, **kw):
    rc, out = run(*args, **kw)
    if rc != 0:
        raise SystemExit(f"{' '.join(args)} failed ({rc}):\n{out}")
    return out


def read(path):
    with open(path, "rb") as f:
        return f.read()


class Authorities:
    """A certificate authority with a code-signing certificate, an expired one, and a timestamp
    authority's certificate; the signer's PKCS#12 file and its password file."""

    def __init__(self, folder):
        self.dir = folder
        os.makedirs(os.path.join(folder, "issued"))
        p = self.path
        with open(p("openssl.cnf"), "w") as f:
            f.write(f"""[req]
distinguished_name = dn
prompt = no
[dn]
CN = Vantorelix test authority
[ca_ext]
basicConstraints = critical,CA:true
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[signer_ext]
basicConstraints = CA:false
keyUsage = critical,digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[tsa_ext]
basicConstraints = CA:false
keyUsage = critical,digitalSignature,nonRepudiation
extendedKeyUsage = critical,timeStamping
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[ca]
default_ca = test_ca
[test_ca]
database = {p("index.txt")}
new_certs_dir = {p("issued")}
serial = {p("serial")}
certificate = {p("ca.pem")}
private_key = {p("ca.key")}
default_md = sha256
policy = any_name
unique_subject = no
[any_name]
commonName = supplied
[tsa]
default_tsa = test_tsa
[test_tsa]
serial = {p("tsa-serial")}
signer_cert = {p("tsa.pem")}
certs = {p("ca.pem")}
signer_key = {p("tsa.key")}
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256, sha384, sha512
accuracy = secs:1
ordering = yes
tsa_name = yes
ess_cert_id_alg = sha256
""")
        open(p("index.txt"), "w").close()
        for name in ("serial", "tsa-serial"):
            with open(p(name), "w") as f:
                f.write("1000\n")
        cnf = p("openssl.cnf")
        must("openssl", "req", "-x509", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", p("ca.key"),
             "-out", p("ca.pem"), "-days", "30", "-config", cnf, "-extensions", "ca_ext")
        self.issue("signer", "Vantorelix test signer", "signer_ext", days=10)
        self.issue("tsa", "Vantorelix test timestamps", "tsa_ext", days=10)
        # Valid for a month a few years ago.
        self.issue("expired", "Vantorelix expired signer", "signer_ext", start="20200101000000Z", end="20200201000000Z")
        with open(p("password"), "w") as f:
            f.write("correct horse\n")
        with open(p("wrong-password"), "w") as f:
            f.write("battery staple\n")
        for name in ("signer", "expired"):
            must("openssl", "pkcs12", "-export", "-inkey", p(f"{name}.key"), "-in", p(f"{name}.pem"),
                 "-certfile", p("ca.pem"), "-out", p(f"{name}.p12"), "-passout", "file:" + p("password"))
        # Another authority, which vouches for nobody here.
        must("openssl", "req", "-x509", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", p("other.key"),
             "-out", p("other.pem"), "-days", "30", "-subj", "/CN=Another authority")

    def path(self, name):
        return os.path.join(self.dir, name)

    def issue(self, name, cn, ext, days=None, start=None, end=None):
        p = self.path
        must("openssl", "req", "-new", "-newkey", "rsa:2048", "-nodes", "-keyout", p(f"{name}.key"),
             "-out", p(f"{name}.csr"), "-subj", f"/CN={cn}")
        dates = ["-days", str(days)] if days else ["-startdate", start, "-enddate", end]
        must("openssl", "ca", "-batch", "-config", p("openssl.cnf"), "-extfile", p("openssl.cnf"),
             "-extensions", ext, "-notext", "-in", p(f"{name}.csr"), "-out", p(f"{name}.pem"), *dates)


class TimestampAuthority:
    """RFC 3161 answers from `openssl ts -reply`, over HTTP on 127.0.0.1 only."""

    def __init__(self, pki):
        config = pki.path("openssl.cnf")
        self.requests = 0
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):
                query = self.rfile.read(int(self.headers.get("Content-Length", "0")))
                with tempfile.TemporaryDirectory() as d:
                    with open(os.path.join(d, "query.tsq"), "wb") as f:
                        f.write(query)
                    p = subprocess.run(["openssl", "ts", "-reply", "-config", config, "-queryfile",
                                        os.path.join(d, "query.tsq"), "-out", os.path.join(d, "reply.tsr")],
                                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
                    if p.returncode != 0:
                        self.send_error(500, p.stdout.decode("utf-8", "replace")[:200])
                        return
                    reply = read(os.path.join(d, "reply.tsr"))
                outer.requests += 1
                self.send_response(200)
                self.send_header("Content-Type", "application/timestamp-reply")
                self.send_header("Content-Length", str(len(reply)))
                self.end_headers()
                self.wfile.write(reply)

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.url = f"http://127.0.0.1:{self.server.server_address[1]}/"
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


def closed_port_url():
    """A URL on 127.0.0.1 where nothing listens."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    return f"http://127.0.0.1:{port}/"


def main():
    a = release_test_arguments()
    started = time.monotonic()
    work = fresh_work_folder(a)
    sign = os.path.join(a.source, "release", "sign")
    base_env = {k: v for k, v in os.environ.items() if k not in IDENTITY_VARS}

    pki = Authorities(os.path.join(work, "pki"))
    tsa = TimestampAuthority(pki)
    identity = dict(base_env, VANTORELIX_SIGN_PKCS12=pki.path("signer.p12"),
                    VANTORELIX_SIGN_PASSWORD_FILE=pki.path("password"), VANTORELIX_TIMESTAMP_URL=tsa.url)
    try:
        signed = sign_release(a, work, sign, pki, tsa, identity)
        if signed:
            under_wine(a, work, signed)
        failures(a, work, sign, pki, identity, base_env)
        token(a, work, sign, pki, tsa, base_env)
        test_kit(a, work, pki, identity)
    finally:
        tsa.stop()
    print(f"signing tests took {time.monotonic() - started:.0f} s")
    return closing()


def verify(path, pki, ca="ca.pem"):
    return run("osslsigncode", "verify", "-CAfile", pki.path(ca), "-TSA-CAfile", pki.path("ca.pem"), "-in", path)


def unsigned_form(path, work):
    out = os.path.join(work, "unsigned-form")
    if os.path.exists(out):
        os.remove(out)
    rc, _ = run("osslsigncode", "remove-signature", "-in", path, "-out", out)
    return read(out) if rc == 0 else None


def sign_release(a, work, sign, pki, tsa, identity):
    """The DLLs, then the packages built from them, as scripts/package signs them."""
    dlls = os.path.join(work, "dlls")
    unsigned = {}
    for arch, tree in (("x86", a.win32), ("x64", a.win64)):
        os.makedirs(os.path.join(dlls, arch))
        for f in ("Vantorelix.dll", "Vantorelix.manifest"):
            shutil.copy(os.path.join(tree, f), os.path.join(dlls, arch, f))
        unsigned[f"{arch}/Vantorelix.dll"] = read(os.path.join(tree, "Vantorelix.dll"))
    rc, out = run(sign, os.path.join(dlls, "x86", "Vantorelix.dll"), os.path.join(dlls, "x64", "Vantorelix.dll"),
                  env=identity)
    if not check(rc == 0, "release/sign signs both DLLs", out):
        return None

    msis = os.path.join(work, "msi")
    os.makedirs(os.path.join(msis, "work"))
    with open(os.path.join(msis, "work", "rows-64.tsv"), "w") as rows:
        subprocess.run([os.path.join(a.source, "release", "harvest"), "64", os.path.join(dlls, "x64", "Vantorelix.dll"),
                        os.path.join(msis, "work")], stdout=rows, check=True)
    rc, out = run(os.path.join(a.source, "release", "build-msi"), msis, a.version, os.path.join(dlls, "x86"),
                  os.path.join(dlls, "x64"), "--reuse-harvest")
    if not check(rc == 0, "release/build-msi builds the packages from the signed DLLs", out):
        return None
    files = {"x86/Vantorelix.dll": os.path.join(dlls, "x86", "Vantorelix.dll"),
             "x64/Vantorelix.dll": os.path.join(dlls, "x64", "Vantorelix.dll")}
    for arch in ("x64", "x86"):
        name = f"Vantorelix-{a.version}-{arch}.msi"
        files[name] = os.path.join(msis, name)
        unsigned[name] = read(files[name])
    rc, out = run(sign, files[f"Vantorelix-{a.version}-x64.msi"], files[f"Vantorelix-{a.version}-x86.msi"], env=identity)
    if not check(rc == 0, "release/sign signs both packages", out):
        return None

    for name, path in files.items():
        rc, out = verify(path, pki)
        check(rc == 0 and "Signature verification: ok" in out and "Timestamp Server Signature verification: ok" in out,
              f"{name}: the signature and its timestamp verify against the test's authorities", out[-1500:])
        check(unsigned_form(path, work) == unsigned[name],
              f"{name}: taking the signature off gives back the unsigned bytes ({len(unsigned[name])})")
    rc, out = verify(files["x64/Vantorelix.dll"], pki, ca="other.pem")
    check(rc != 0, "the 64-bit DLL's signature does not verify against another authority", out[-600:])
    # The installed packages' DLLs: the signed ones.
    extracted = os.path.join(work, "extracted")
    must("msiextract", "-C", extracted, files[f"Vantorelix-{a.version}-x64.msi"])
    inner = sorted(read(os.path.join(d, f)) for d, _, fs in os.walk(extracted) for f in fs if f.endswith(".dll"))
    check(inner == sorted(read(files[f"{arch}/Vantorelix.dll"]) for arch in ("x86", "x64")),
          "the x64 package holds the two signed DLLs")

    flipped = os.path.join(work, "flipped.dll")
    data = bytearray(read(files["x64/Vantorelix.dll"]))
    data[len(unsigned["x64/Vantorelix.dll"]) // 2] ^= 0x01
    with open(flipped, "wb") as f:
        f.write(data)
    rc, out = verify(flipped, pki)
    check(rc != 0, "one flipped byte in the signed 64-bit DLL fails verification", out[-600:])
    check(tsa.requests >= len(files), f"the test's timestamp authority answered the signing ({tsa.requests} requests)")
    return files


def under_wine(a, work, files):
    with open(os.path.join(work, "wine-arch"), "w") as f:
        f.write("win64\n")
    px = Prefix(os.path.join(work, "wineprefix"), "win64", a.source)
    try:
        served = os.path.join(work, "registered")
        os.makedirs(served)
        dll = os.path.join(served, "Vantorelix.dll")
        shutil.copy(files["x64/Vantorelix.dll"], dll)
        rc, out = px.run("regsvr32", "/s", win_path(dll))
        check(rc == 0, "regsvr32 registers the signed 64-bit DLL", out)
        script = os.path.join(work, "serve.vbs")
        with open(script, "w") as f:
            f.write('Set u = CreateObject("Vantorelix.Utils")\r\n'
                    'WScript.Echo "getMaxPath: " & u.getMaxPath()\r\n'
                    'WScript.Echo "server: " & CreateObject("WScript.Shell").RegRead('
                    '"HKCR\\CLSID\\" & u.progIDToClsid("Vantorelix.Utils") & "\\InprocServer32\\")\r\n')
        rc, out = px.run("cscript", "//nologo", win_path(script))
        lines = dict(l.split(": ", 1) for l in out.split("\n") if ": " in l)
        check(rc == 0 and lines.get("getMaxPath") == "260" and lines.get("server", "").lower() == win_path(dll).lower(),
              "cscript creates Vantorelix.Utils from the signed DLL and calls it", out)
        px.run("regsvr32", "/s", "/u", win_path(dll))

        msi = files[f"Vantorelix-{a.version}-x64.msi"]
        rc, out = px.run("msiexec", "/i", win_path(msi), "/qn")
        check(rc == 0, "msiexec /i of the signed x64 package /qn succeeds", out)
        installed = px.drive_c(DIR64 + "\\Vantorelix.dll")
        check(os.path.exists(installed) and read(installed) == read(files["x64/Vantorelix.dll"]),
              f"{DIR64}\\Vantorelix.dll is the signed DLL")
        rc, out = px.run(win_path(os.path.join(a.win64, "installed_host.exe")))
        check(rc == 0 and "getMaxPath: 260" in out and (DIR64 + "\\Vantorelix.dll").lower() in out.lower(),
              "a 64-bit host creates Vantorelix.Utils from the installed signed DLL", out)
        rc, out = px.run("msiexec", "/x", win_path(msi), "/qn")
        check(rc == 0 and not os.path.exists(installed), "msiexec /x /qn removes it", out)
    finally:
        px.stop()


def failures(a, work, sign, pki, identity, base_env):
    """Each failure stops the signing, says why, and leaves every file as it was."""
    originals = {"x64.dll": os.path.join(a.win64, "Vantorelix.dll"), "x86.dll": os.path.join(a.win32, "Vantorelix.dll")}
    cases = [
        ("a wrong password", dict(identity, VANTORELIX_SIGN_PASSWORD_FILE=pki.path("wrong-password")), [],
         "wrong password"),
        ("a missing PKCS#12 file", dict(identity, VANTORELIX_SIGN_PKCS12=pki.path("nowhere.p12")), [],
         "which does not exist"),
        ("a missing file to sign", identity, ["not-built.dll"], "not-built.dll does not exist"),
        ("an expired certificate", dict(identity, VANTORELIX_SIGN_PKCS12=pki.path("expired.p12")), [], "expired on"),
        # The first file is signed before the timestamp authority fails: it is not written either.
        ("a timestamp authority that does not answer", dict(identity, VANTORELIX_TIMESTAMP_URL=closed_port_url()), [],
         "failed"),
    ]
    for n, (what, env, extra, message) in enumerate(cases):
        out_dir = os.path.join(work, f"failure-{n}")
        os.makedirs(out_dir)
        for name, src in originals.items():
            shutil.copy(src, os.path.join(out_dir, name))
        args = [os.path.join(out_dir, name) for name in originals] + [os.path.join(out_dir, e) for e in extra]
        rc, out = run(sign, *args, env=env)
        check(rc != 0 and message in out, f"{what}: the signing stops and says so", out)
        left = sorted(os.listdir(out_dir))
        check(left == sorted(originals) and all(read(os.path.join(out_dir, name)) == read(src)
                                                for name, src in originals.items()),
              f"{what}: every file in the folder is as it was, and no other is there", left)

    rc, out = run(sign, "--identity", env=base_env)
    check(rc == 3 and len(out.strip().split("\n")) == 1 and "no signing identity" in out,
          "without an identity, release/sign --identity says so in one line (exit code 3)", out)

    # scripts/package, in a copy of the sources: it stops before dist/ holds anything.
    src = os.path.join(work, "package-source")
    listed = subprocess.run(["git", "-C", a.source, "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                            stdout=subprocess.PIPE, check=True).stdout.decode().split("\0")
    for rel in filter(None, listed):
        if os.path.isfile(os.path.join(a.source, rel)):
            os.makedirs(os.path.dirname(os.path.join(src, rel)), exist_ok=True)
            shutil.copy2(os.path.join(a.source, rel), os.path.join(src, rel))
    for what, env, message in (
            ("a wrong password", dict(identity, VANTORELIX_SIGN_PASSWORD_FILE=pki.path("wrong-password")), "wrong password"),
            ("a timestamp authority that does not answer", dict(identity, VANTORELIX_TIMESTAMP_URL=closed_port_url()),
             "failed")):
        os.makedirs(os.path.join(src, "dist"), exist_ok=True)
        rc, out = run(os.path.join(src, "scripts", "package"), "--from-trees", a.win32, a.win64, env=env, cwd=src)
        check(rc != 0 and message in out and "dist/ is not written" in out and not os.path.exists(os.path.join(src, "dist")),
              f"scripts/package with {what} stops with a message and leaves no dist/", out[-1500:])


def token(a, work, sign, pki, tsa, base_env):
    """The key on a PKCS#11 token (SoftHSM's, where it is installed), the certificate in a file."""
    module = "/usr/lib/softhsm/libsofthsm2.so"
    if not (os.path.exists(module) and shutil.which("softhsm2-util")):
        print(f"NOTE: no PKCS#11 signing: SoftHSM ({module}, softhsm2-util) is not installed")
        return
    folder = os.path.join(work, "token")
    os.makedirs(os.path.join(folder, "tokens"))
    conf = os.path.join(folder, "softhsm2.conf")
    with open(conf, "w") as f:
        f.write(f"directories.tokendir = {folder}/tokens\nobjectstore.backend = file\nlog.level = ERROR\n")
    env = dict(base_env, SOFTHSM2_CONF=conf)
    must("softhsm2-util", "--init-token", "--free", "--label", "release", "--pin", "4321", "--so-pin", "8765", env=env)
    must("openssl", "pkcs8", "-topk8", "-nocrypt", "-in", pki.path("signer.key"), "-out", os.path.join(folder, "key.p8"))
    must("softhsm2-util", "--import", os.path.join(folder, "key.p8"), "--token", "release", "--label", "signer",
         "--id", "01", "--pin", "4321", env=env)
    with open(os.path.join(folder, "chain.pem"), "wb") as f:
        f.write(read(pki.path("signer.pem")) + read(pki.path("ca.pem")))
    for name, pin in (("pin", "4321"), ("wrong-pin", "1111")):
        with open(os.path.join(folder, name), "w") as f:
            f.write(pin + "\n")
    env.update(VANTORELIX_SIGN_PKCS11_MODULE=module, VANTORELIX_SIGN_PKCS11_KEY="pkcs11:token=release;object=signer;type=private",
               VANTORELIX_SIGN_CERT=os.path.join(folder, "chain.pem"), VANTORELIX_TIMESTAMP_URL=tsa.url)
    dll = os.path.join(folder, "Vantorelix.dll")
    original = read(os.path.join(a.win64, "Vantorelix.dll"))
    with open(dll, "wb") as f:
        f.write(original)
    rc, out = run(sign, dll, env=dict(env, VANTORELIX_SIGN_PASSWORD_FILE=os.path.join(folder, "wrong-pin")))
    check(rc != 0 and "Login" in out and read(dll) == original, "PKCS#11 with a wrong PIN: the signing stops, the DLL as it was", out)
    rc, out = run(sign, dll, env=dict(env, VANTORELIX_SIGN_PASSWORD_FILE=os.path.join(folder, "pin")))
    check(rc == 0, "release/sign signs the 64-bit DLL with the key on a PKCS#11 token", out)
    rc, out = verify(dll, pki)
    check(rc == 0 and "Timestamp Server Signature verification: ok" in out,
          "the token's signature and its timestamp verify against the test's authorities", out[-1500:])
    check(unsigned_form(dll, work) == original, "the token's signature taken off gives back the unsigned bytes")


def test_kit(a, work, pki, identity):
    kit = os.path.join(work, "kit.zip")
    rc, out = run(os.path.join(a.source, "scripts", "package-test-kit"), a.win32, a.win64, kit, env=identity)
    if not check(rc == 0, "scripts/package-test-kit signs the kit", out):
        return
    unpacked = os.path.join(work, "kit")
    with zipfile.ZipFile(kit) as z:
        z.extractall(unpacked)
    programs = [os.path.join(d, f) for d, _, fs in os.walk(unpacked) for f in fs if f.lower().endswith((".exe", ".dll"))]
    bad = [os.path.relpath(p, unpacked) for p in programs if verify(p, pki)[0] != 0]
    check(len(programs) > 10 and not bad,
          f"every program and DLL in the kit ({len(programs)}) carries a signature that verifies", bad)


if __name__ == "__main__":
    sys.exit(main())
