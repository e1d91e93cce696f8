#!/usr/bin/env python3
"""Checks a released quillmend.exe (or the release zip) against the sources of
this checkout: builds them, takes the Authenticode signature off the released
file (an unsigned file is taken as it is) and compares the two byte for byte.
Prints the signer's subject and SHA-256 thumbprint when the file is signed.
Exit code 0 only when the released program is exactly the one the sources build."""
import hashlib
import os
import re
import struct
import subprocess
import sys
import tempfile
import zipfile

from package import Failure, certificate_fields, run

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))
SECURITY_DIRECTORY = 4


def fail(message):
    print(message)
    sys.exit(1)


def released_program(path):
    if not zipfile.is_zipfile(path):
        return open(path, "rb").read()
    with zipfile.ZipFile(path) as z:
        members = [n for n in z.namelist() if n.rsplit("/", 1)[-1].lower() == "quillmend.exe"]
        if len(members) != 1:
            fail("%s holds %d copies of quillmend.exe, not one" % (path, len(members)))
        return z.read(members[0])


def is_signed(data):
    """True when the PE names an attribute certificate table."""
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


def signer(path, work):
    """Subject and SHA-256 thumbprint of the certificate that signed the file,
    and whether the signature's digest matches the file's content."""
    report = subprocess.run(["osslsigncode", "verify", "-in", path], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT).stdout.decode(errors="replace")
    current = re.search(r"Current message digest\s*:\s*(\S+)", report)
    calculated = re.search(r"Calculated message digest\s*:\s*(\S+)", report)
    intact = bool(current and calculated and current.group(1) == calculated.group(1))
    pkcs7 = os.path.join(work, "signature.pem")
    run(["osslsigncode", "extract-signature", "-pem", "-in", path, "-out", pkcs7], "extracting the signature")
    structure = run(["openssl", "pkcs7", "-in", pkcs7, "-print", "-noout"], "reading the signature")
    serial = re.search(r"issuer_and_serial:.*?serial:\s*(\S+)", structure, re.S)
    wanted = int(serial.group(1), 0) if serial else None  # "0x..." or, when small, decimal
    certificates = re.findall(r"-----BEGIN CERTIFICATE-----.*?-----END CERTIFICATE-----",
                              run(["openssl", "pkcs7", "-in", pkcs7, "-print_certs"], "reading the signature"),
                              re.S)
    for pem in certificates:
        subject, thumbprint, number = certificate_fields(pem)
        if number == wanted:
            return subject, thumbprint, intact
    return "(signer's certificate not found in the signature)", "-", intact


def build(work):
    folder = os.path.join(work, "build")
    run(["cmake", "-S", ROOT, "-B", folder, "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(ROOT, "cmake", "mingw-i686.cmake"),
         "-DCMAKE_BUILD_TYPE=Release"], "configuring the build")
    run(["cmake", "--build", folder, "--target", "quillmend"], "building the sources")
    return open(os.path.join(folder, "quillmend.exe"), "rb").read()


def describe_difference(released, built):
    lines = ["sizes: released %d bytes, built %d bytes" % (len(released), len(built))]
    differing = [i for i in range(min(len(released), len(built))) if released[i] != built[i]]
    if differing:
        lines.append("bytes differing: %d of %d, the first at offset 0x%x (released %02x, built %02x)"
                     % (len(differing), min(len(released), len(built)), differing[0], released[differing[0]],
                        built[differing[0]]))
    return "\n".join(lines)


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
    with tempfile.TemporaryDirectory(prefix="quillmend-verify-") as work:
        released = os.path.join(work, "released.exe")
        with open(released, "wb") as f:
            f.write(released_program(path))
        program = released
        intact = True
        if is_signed(open(released, "rb").read()):
            subject, thumbprint, intact = signer(released, work)
            print("signed by: %s" % subject)
            print("signer's certificate SHA-256 thumbprint: %s" % thumbprint)
            print("signature digest: %s" % ("matches the file" if intact else "DOES NOT MATCH the file"))
            program = os.path.join(work, "unsigned.exe")
            run(["osslsigncode", "remove-signature", "-in", released, "-out", program], "removing the signature")
        else:
            print("not signed")
        released_bytes = open(program, "rb").read()
        built = build(work)
    print("released program: sha256 %s (%d bytes)" % (hashlib.sha256(released_bytes).hexdigest(),
                                                     len(released_bytes)))
    print("built from sources: sha256 %s (%d bytes)" % (hashlib.sha256(built).hexdigest(), len(built)))
    if released_bytes != built:
        print("does NOT match the sources")
        fail(describe_difference(released_bytes, built))
    if not intact:
        fail("the program matches the sources, but its signature was not made over this file")
    print("matches the sources")
    return 0


if __name__ == "__main__":
    sys.exit(main())
