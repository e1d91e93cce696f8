#!/usr/bin/env python3
"""Makes the release in dist/ (or the folder given): quillmend-<version>-win32.zip
(quillmend.exe, quillmend-check.exe, quillmend-run.exe, quillmend-logon.exe, the engines' PowerShell scripts of deploy/,
README.md, SECURITY.md, CHANGELOG.md, CONTRIBUTING.md, docs/, LICENSE, SHA256SUMS), SHA256SUMS over the zip and the three programs, and, when
signed, SIGNER with the certificate's SHA-256 thumbprint. Signing signs the
programs and every PowerShell script with the same certificate (Configuration
Manager's default execution policy runs only signed scripts).

Signing: QUILLMEND_SIGN_PFX names a PKCS#12 file, QUILLMEND_SIGN_PASSWORD its
password, QUILLMEND_TIMESTAMP_URL an RFC 3161 time-stamp server. A signature
without a time stamp stops being trusted when the certificate expires, and from
that day every engine that enforces signatures refuses the scripts: signing
without one is refused unless QUILLMEND_SIGN_WITHOUT_TIMESTAMP=1 says the
signature is a throwaway test. The
password goes to openssl through the environment and to osslsigncode on its
standard input, never on a command line. The zip is reproducible: fixed order,
fixed dates, fixed permissions. Everything is made in a staging folder and
moved into place only when all of it succeeded."""
import argparse
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
# 1980-01-01, the earliest date a zip holds; SOURCE_DATE_EPOCH overrides it.
FIXED_DATE = (1980, 1, 1, 0, 0, 0)
PASSWORD = "QUILLMEND_SIGN_PASSWORD"
PROGRAMS = ("quillmend.exe", "quillmend-check.exe", "quillmend-run.exe", "quillmend-logon.exe")
# The deployment engines' scripts, shipped as they are in the sources.
SCRIPTS = ("quillmend-detect-registry.ps1", "quillmend-detect-installed.ps1", "quillmend-remediation-detect.ps1",
           "quillmend-remediation.ps1", "quillmend-baseline-discovery.ps1", "quillmend-baseline-remediation.ps1",
           "quillmend-outlook-version.ps1")
SIGNED_SCRIPTS = tuple(s for s in SCRIPTS if s.endswith(".ps1"))
# osslsigncode signs PowerShell scripts from this version on.
SCRIPT_SIGNING_VERSION = (2, 8)
# Besides the programs, in the zip: (name in the zip, path in the sources).
# The documents go with their links: README.md points into docs/.
DOCS = tuple("docs/" + name for name in sorted(os.listdir(os.path.join(ROOT, "docs")))
             if name.endswith((".md", ".png")))
DOCUMENTS = tuple((script, "deploy/" + script) for script in SCRIPTS) + tuple(
    (name, name) for name in ("README.md", "SECURITY.md", "CHANGELOG.md", "CONTRIBUTING.md", "LICENSE") + DOCS)


class Failure(Exception):
    pass


def sha256(data):
    return hashlib.sha256(data).hexdigest()


def run(args, what, stdin=b""):
    result = subprocess.run(args, input=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if result.returncode != 0:
        output = (result.stdout + result.stderr).decode(errors="replace").strip()
        raise Failure("%s failed:\n%s" % (what, output))
    return result.stdout.decode(errors="replace")


def signer_certificate(pfx):
    """The signing certificate's subject and SHA-256 thumbprint; fails clearly on
    a wrong password or a file that is no PKCS#12."""
    if not os.path.isfile(pfx):
        raise Failure("QUILLMEND_SIGN_PFX: no such file: %s" % pfx)
    os.environ.setdefault(PASSWORD, "")
    pem = None
    for legacy in ([], ["-legacy"]):  # older PKCS#12 files need OpenSSL's legacy ciphers
        try:
            pem = run(["openssl", "pkcs12", "-in", pfx, "-clcerts", "-nokeys", "-passin", "env:" + PASSWORD]
                      + legacy, "reading the certificate")
            break
        except Failure:
            continue
    if not pem or "BEGIN CERTIFICATE" not in pem:
        raise Failure("cannot open %s with QUILLMEND_SIGN_PASSWORD: wrong password, or not a PKCS#12 file "
                      "with a certificate" % pfx)
    subject, thumbprint, _ = certificate_fields(pem)
    return subject, thumbprint


def certificate_fields(pem):
    """Subject (RFC 2253), SHA-256 thumbprint (upper-case hex) and serial number
    of one PEM certificate."""
    out = run(["openssl", "x509", "-noout", "-serial", "-subject", "-fingerprint", "-sha256", "-nameopt", "RFC2253"],
              "reading the certificate", pem.encode())
    fields = {k.strip(): v.strip() for k, v in (line.split("=", 1) for line in out.splitlines() if "=" in line)}
    thumbprint = next((v for k, v in fields.items() if "Fingerprint" in k), "").replace(":", "")
    return fields.get("subject", ""), thumbprint, int(fields.get("serial", "-1"), 16)


def sign(unsigned, signed, pfx):
    args = ["osslsigncode", "sign", "-pkcs12", pfx, "-readpass", "-", "-h", "sha256", "-n", "Quillmend"]
    if os.environ.get("QUILLMEND_TIMESTAMP_URL"):
        args += ["-ts", os.environ["QUILLMEND_TIMESTAMP_URL"]]
    run(args + ["-in", unsigned, "-out", signed], "signing", os.environ.get(PASSWORD, "").encode())
    # The signature must come off again to the very file that was built:
    # that is what lets anyone check the release against the sources.
    stripped = signed + ".stripped"
    run(["osslsigncode", "remove-signature", "-in", signed, "-out", stripped], "checking the signature")
    with open(unsigned, "rb") as a, open(stripped, "rb") as b:
        if a.read() != b.read():
            raise Failure("the signed %s does not strip back to the built one" % os.path.basename(unsigned))
    os.remove(stripped)


def check_script_text(name, data):
    """A PowerShell script is shipped as ASCII, which is UTF-8 without a
    byte-order mark: Windows PowerShell 5.1 reads a file without one in the ANSI
    code page, where ASCII reads the same; with CRLF line ends, as Windows'
    own tools write them."""
    if data.startswith(b"\xef\xbb\xbf") or any(b > 0x7F for b in data):
        raise Failure("deploy/%s holds a byte-order mark or characters outside ASCII" % name)
    if b"\n" in data.replace(b"\r\n", b""):
        raise Failure("deploy/%s has a line end other than CRLF" % name)


def signer_version():
    out = run(["osslsigncode", "--version"], "asking osslsigncode its version")
    found = re.match(r"osslsigncode (\d+)\.(\d+)", out)
    return (int(found.group(1)), int(found.group(2))) if found else (0, 0)


def zip_date():
    if os.environ.get("SOURCE_DATE_EPOCH"):
        import time
        return time.gmtime(max(int(os.environ["SOURCE_DATE_EPOCH"]), 315532800))[:6]
    return FIXED_DATE


def package(dist, staging):
    version = open(os.path.join(ROOT, "VERSION")).read().strip()
    built = {p: os.path.join(ROOT, "build", "win32", p) for p in PROGRAMS}
    for program, path in built.items():
        if not os.path.exists(path):
            raise Failure("build/win32/%s is missing: run scripts/build.sh first" % program)
    name = "quillmend-%s-win32.zip" % version
    for stale in (name, "SHA256SUMS", "SIGNER"):  # a failed run leaves no package that looks new
        if os.path.exists(os.path.join(dist, stale)):
            os.remove(os.path.join(dist, stale))

    shipped = dict(built)
    signer = None
    pfx = os.environ.get("QUILLMEND_SIGN_PFX")
    if pfx:
        if not os.environ.get("QUILLMEND_TIMESTAMP_URL") and os.environ.get("QUILLMEND_SIGN_WITHOUT_TIMESTAMP") != "1":
            raise Failure("no QUILLMEND_TIMESTAMP_URL: a signature without a time stamp stops being trusted when "
                          "the certificate expires. Name an RFC 3161 time-stamp server, or set "
                          "QUILLMEND_SIGN_WITHOUT_TIMESTAMP=1 for a throwaway test signature")
        signer = signer_certificate(pfx)
        tool = signer_version()
        if tool < SCRIPT_SIGNING_VERSION:
            raise Failure("osslsigncode %d.%d cannot sign PowerShell scripts (2.8 or later can)" % tool)
        for program in PROGRAMS:
            shipped[program] = os.path.join(staging, program)
            sign(built[program], shipped[program], pfx)
        for script in SIGNED_SCRIPTS:
            shipped[script] = os.path.join(staging, script)
            sign(os.path.join(ROOT, "deploy", script), shipped[script], pfx)
        print("signed %s and %s: %s, SHA-256 thumbprint %s"
              % ((", ".join(PROGRAMS), ", ".join(SIGNED_SCRIPTS)) + signer))
        if not os.environ.get("QUILLMEND_TIMESTAMP_URL"):
            print("NOT time-stamped (QUILLMEND_SIGN_WITHOUT_TIMESTAMP=1): a test signature, not a release")
    else:
        print("not signed: QUILLMEND_SIGN_PFX is not set, so the package holds the unsigned programs")

    for script in SIGNED_SCRIPTS:
        check_script_text(script, open(os.path.join(ROOT, "deploy", script), "rb").read())
    files = [(p, open(shipped[p], "rb").read()) for p in PROGRAMS]
    files += [(member, open(shipped.get(member, os.path.join(ROOT, source)), "rb").read())
              for member, source in DOCUMENTS]
    sums = "".join("%s  %s\n" % (sha256(content), member) for member, content in files).encode()
    files.append(("SHA256SUMS", sums))

    outputs = {}
    zipped_path = os.path.join(staging, name)
    with zipfile.ZipFile(zipped_path, "w", zipfile.ZIP_DEFLATED) as z:
        for member, content in files:
            info = zipfile.ZipInfo("quillmend-%s/%s" % (version, member), date_time=zip_date())
            info.external_attr = 0o644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, content, compresslevel=9)
    outputs[name] = open(zipped_path, "rb").read()
    outputs["SHA256SUMS"] = ("%s  %s\n" % (sha256(outputs[name]), name) + "".join(
        "%s  %s\n" % (sha256(content), member) for member, content in files if member in PROGRAMS)).encode()
    if signer:
        outputs["SIGNER"] = ("subject: %s\nsha256 thumbprint: %s\n" % signer).encode()

    for output, content in outputs.items():
        with open(os.path.join(staging, output), "wb") as f:
            f.write(content)
        os.replace(os.path.join(staging, output), os.path.join(dist, output))
    shown = os.path.relpath(dist, ROOT) if dist.startswith(ROOT + os.sep) else dist
    print("%s/%s (%d bytes; %s)" % (shown, name, len(outputs[name]), "; ".join(
        "%s %d bytes, unsigned %d bytes" % (p, len(content), os.path.getsize(built[p]))
        for p, content in files if p in PROGRAMS)))
    print(outputs["SHA256SUMS"].decode(), end="")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("dist", nargs="?", default=os.path.join(ROOT, "dist"), help="output folder (dist/)")
    args = parser.parse_args()
    dist = os.path.abspath(args.dist)
    os.makedirs(dist, exist_ok=True)
    staging = tempfile.mkdtemp(prefix=".staging-", dir=dist)  # same file system: each move is atomic
    try:
        package(dist, staging)
    except Failure as e:
        print("package not made: %s" % e, file=sys.stderr)
        return 1
    finally:
        shutil.rmtree(staging, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
