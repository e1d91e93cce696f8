#!/usr/bin/env python3
"""Checks a released program (quillmend.exe, quillmend-check.exe or
quillmend-run.exe, by its file name) or the release zip (the programs, the
engines' scripts and the documents) against the
sources of this checkout: builds them, takes the Authenticode signature off
each released program (an unsigned one is taken as it is) and compares it
byte for byte with the built one. Prints the signer's subject and SHA-256
thumbprint of each signed program. Exit code 0 only when everything released
is exactly what the sources give."""
import hashlib
import os
import re
import struct
import subprocess
import sys
import tempfile
import zipfile

from package import DOCUMENTS, PROGRAMS, SIGNED_SCRIPTS, Failure, certificate_fields, run

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
SECURITY_DIRECTORY = 4
SCRIPT_SIGNATURE = b"# SIG # Begin signature block"


def fail(message):
    print(message)
    sys.exit(1)


def released_files(path):
    """{name: content} of the programs (and, from a zip, the scripts and documents) to check."""
    if not zipfile.is_zipfile(path):
        name = os.path.basename(path).lower()
        return {name if name in PROGRAMS else PROGRAMS[0]: open(path, "rb").read()}
    wanted = PROGRAMS + tuple(member for member, _ in DOCUMENTS)
    with zipfile.ZipFile(path) as z:
        files = {}
        for name in wanted:
            # Below the zip's one top folder, quillmend-<version>/.
            members = [n for n in z.namelist() if n.split("/", 1)[-1].lower() == name.lower()]
            if len(members) != 1:
                fail("%s holds %d copies of %s, not one" % (path, len(members), name))
            files[name] = z.read(members[0])
        return files


def is_signed(data, name=""):
    """True when the PE names an attribute certificate table, or the script
    holds a signature block."""
    if name in SIGNED_SCRIPTS:
        return SCRIPT_SIGNATURE in data
    try:
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[:2] != b"MZ" or data[pe:pe + 4] != b"PE\0\0":
            fail("not a Windows program")
        optional = pe + 24
        directories = optional + (96 if struct.unpack_from("<H", data, optional)[0] == 0x10B else 112)
        offset, size = struct.unpack_from("<II", data, directories + 8 * SECURITY_DIRECTORY)
    except struct.error:
        fail("not a Windows program (too short)")
    return offset != 0 and size != 0


# A time stamp lives in the signer's unauthenticated attributes: an RFC 3161
# token under Microsoft's OID, or a PKCS #9 countersignature.
TIME_STAMP_OIDS = ("(1.3.6.1.4.1.311.3.3.1)", "(1.2.840.113549.1.9.6)")


def signer(path):
    """Subject and SHA-256 thumbprint of the certificate that signed the file,
    whether the signature's digest matches the file's content, and its time
    stamp's time ("" when it has none)."""
    report = subprocess.run(["osslsigncode", "verify", "-in", path], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT).stdout.decode(errors="replace")
    current = re.search(r"Current message digest\s*:\s*(\S+)", report)
    calculated = re.search(r"Calculated message digest\s*:\s*(\S+)", report)
    intact = bool(current and calculated and current.group(1) == calculated.group(1))
    pkcs7 = path + ".signature.pem"
    run(["osslsigncode", "extract-signature", "-pem", "-in", path, "-out", pkcs7], "extracting the signature")
    structure = run(["openssl", "pkcs7", "-in", pkcs7, "-print", "-noout"], "reading the signature")
    serial = re.search(r"issuer_and_serial:.*?serial:\s*(\S+)", structure, re.S)
    wanted = int(serial.group(1), 0) if serial else None  # "0x..." or, when small, decimal
    certificates = re.findall(r"-----BEGIN CERTIFICATE-----.*?-----END CERTIFICATE-----",
                              run(["openssl", "pkcs7", "-in", pkcs7, "-print_certs"], "reading the signature"),
                              re.S)
    stamped = any(oid in structure for oid in TIME_STAMP_OIDS)
    time = re.search(r"Timestamp time:\s*(.+)", report)
    stamp = (time.group(1).strip() if time else "present") if stamped else ""
    for pem in certificates:
        subject, thumbprint, number = certificate_fields(pem)
        if number == wanted:
            return subject, thumbprint, intact, stamp
    return "(signer's certificate not found in the signature)", "-", intact, stamp


def build(work):
    folder = os.path.join(work, "build")
    run(["cmake", "-S", ROOT, "-B", folder, "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(ROOT, "cmake", "mingw-i686.cmake"),
         "-DCMAKE_BUILD_TYPE=Release"], "configuring the build")
    run(["cmake", "--build", folder, "--target"] + [p[:-len(".exe")] for p in PROGRAMS], "building the sources")
    return {p: open(os.path.join(folder, p), "rb").read() for p in PROGRAMS}


def describe_difference(released, built):
    lines = ["sizes: released %d bytes, built %d bytes" % (len(released), len(built))]
    differing = [i for i in range(min(len(released), len(built))) if released[i] != built[i]]
    if differing:
        lines.append("bytes differing: %d of %d, the first at offset 0x%x (released %02x, built %02x)"
                     % (len(differing), min(len(released), len(built)), differing[0], released[differing[0]],
                        built[differing[0]]))
    return "\n".join(lines)


def take_off_signature(work, name, content, signed):
    """Prints the released file's signer when it is signed; returns its content
    with the signature taken off, and whether the signature was made over it."""
    if not signed:
        print("  not signed")
        return content, True
    released = os.path.join(work, "released-" + name)
    with open(released, "wb") as f:
        f.write(content)
    subject, thumbprint, intact, stamp = signer(released)
    print("  signed by: %s" % subject)
    print("  signer's certificate SHA-256 thumbprint: %s" % thumbprint)
    print("  time stamp: %s" % (stamp or "none: the signature stops being trusted when the certificate expires"))
    print("  signature digest: %s" % ("matches the file" if intact else "DOES NOT MATCH the file"))
    stripped = os.path.join(work, "unsigned-" + name)
    run(["osslsigncode", "remove-signature", "-in", released, "-out", stripped], "removing the signature")
    return open(stripped, "rb").read(), intact


def verify_script(work, name, content, programs_signed):
    """A PowerShell script: its signature, and its text without the signature
    block against the sources. Returns the problems found."""
    problems = []
    signed = is_signed(content, name)
    text, intact = take_off_signature(work, name, content, signed)
    if not intact:
        problems.append("%s: its signature was not made over this file" % name)
    if not signed and programs_signed:
        problems.append("%s is not signed, though the programs are" % name)
    same = text == open(os.path.join(ROOT, "deploy", name), "rb").read()
    print("  %s" % ("matches the sources" if same else "does NOT match the sources"))
    if not same:
        problems.append("%s differs from the sources" % name)
    return problems


def main():
    try:
        return verify()
    except Failure as e:
        fail(str(e))


def verify():
    if len(sys.argv) != 2:
        fail("usage: scripts/verify-release.sh PATH-TO-ZIP-OR-EXE")
    path = sys.argv[1]
    if not os.path.isfile(path):
        fail("no such file: %s" % path)
    problems = []
    with tempfile.TemporaryDirectory(prefix="quillmend-verify-") as work:
        built = build(work)
        released = released_files(path)
        programs_signed = any(is_signed(released[p], p) for p in PROGRAMS if p in released)
        for name, content in released.items():
            print("%s:" % name)
            if name in SIGNED_SCRIPTS:
                problems += verify_script(work, name, content, programs_signed)
                continue
            if name not in PROGRAMS:
                source = open(os.path.join(ROOT, dict(DOCUMENTS)[name]), "rb").read()
                same = content == source
                print("  %s" % ("matches the sources" if same else "does NOT match the sources"))
                if not same:
                    problems.append("%s differs from the sources" % name)
                continue
            released_bytes, intact = take_off_signature(work, name, content, is_signed(content))
            print("  released program: sha256 %s (%d bytes)" % (hashlib.sha256(released_bytes).hexdigest(),
                                                               len(released_bytes)))
            print("  built from sources: sha256 %s (%d bytes)" % (hashlib.sha256(built[name]).hexdigest(),
                                                                 len(built[name])))
            if released_bytes != built[name]:
                print("  does NOT match the sources")
                print("  " + describe_difference(released_bytes, built[name]).replace("\n", "\n  "))
                problems.append("%s differs from the sources" % name)
            elif not intact:
                problems.append("%s matches the sources, but its signature was not made over this file" % name)
            else:
                print("  matches the sources")
    if problems:
        fail("\n".join(problems))
    print("matches the sources")
    return 0


if __name__ == "__main__":
    sys.exit(main())
