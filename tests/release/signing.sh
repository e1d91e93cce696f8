#!/usr/bin/env bash
# Signing and verifying the release with a throwaway self-signed code-signing
# certificate made here (never a committed key): the package command signs, the
# signature verifies against that certificate, the PE check holds for the
# signed file, verify-release matches the signed zip, says each signature has
# no time stamp, and refuses a copy with one byte of the program changed; a
# wrong password, or no time-stamp server without the throwaway flag, makes no
# package; a time-stamped signature is reported with its time.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
check() {  # check NAME COMMAND...
  if "${@:2}" >"$work/out" 2>&1; then passed=$((passed + 1)); echo "ok    $1"
  else failed=$((failed + 1)); echo "FAIL  $1"; sed 's/^/      /' "$work/out"; fi
}
expect_failure() { ! "$@"; }

export QUILLMEND_SIGN_PASSWORD="throwaway $RANDOM$RANDOM"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Quillmend throwaway test signer" \
  -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=critical,digitalSignature" \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.pfx" \
  -passout env:QUILLMEND_SIGN_PASSWORD
thumbprint=$(openssl x509 -in "$work/cert.pem" -noout -fingerprint -sha256 | sed 's/.*=//; s/://g')

QUILLMEND_SIGN_PFX="$work/cert.pfx" bash "$root/scripts/package.sh" "$work/refused" >"$work/package.log" 2>&1
status=$?
cat "$work/package.log"
check "without a time-stamp server the package command refuses to sign" test $status -ne 0
check "and says how to go on" grep -q "QUILLMEND_TIMESTAMP_URL" "$work/package.log"
check "and leaves no package" expect_failure ls "$work"/refused/quillmend-*-win32.zip

# A throwaway test signature, as the flag says.
export QUILLMEND_SIGN_WITHOUT_TIMESTAMP=1
QUILLMEND_SIGN_PFX="$work/cert.pfx" bash "$root/scripts/package.sh" "$work/dist" >"$work/package.log" 2>&1
cat "$work/package.log"
zip=$(ls "$work"/dist/quillmend-*-win32.zip 2>/dev/null | head -1)
check "the package command signs and packages" test -n "$zip"
check "dist/SIGNER names the certificate" grep -qx "sha256 thumbprint: $thumbprint" "$work/dist/SIGNER"
check "the password appears in no output" expect_failure grep -qF "$QUILLMEND_SIGN_PASSWORD" "$work/package.log"
python3 -c 'import sys, zipfile; z = zipfile.ZipFile(sys.argv[1])
for n in z.namelist():
    p = n.rsplit("/", 1)[-1]
    if p.endswith((".exe", ".ps1")): open(sys.argv[2] + "/signed-" + p, "wb").write(z.read(n))' \
  "$zip" "$work"
scripts=$(ls "$work"/signed-*.ps1)
check "the zip holds the seven PowerShell scripts" test "$(echo "$scripts" | wc -l)" -eq 7
check "each PowerShell script's signature verifies against the certificate" \
  eval 'for s in $scripts; do osslsigncode verify -CAfile "$work/cert.pem" -in "$s" || exit 1; done' 
check "the signatures verify against the certificate" \
  eval 'for p in quillmend quillmend-check quillmend-run quillmend-logon; do
          osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed-$p.exe" || exit 1; done'
check "the PE check holds for the signed files" \
  eval 'python3 "$root/tests/release/check_pe.py" "$work/signed-quillmend.exe" &&
        python3 "$root/tests/release/check_pe.py" "$work/signed-quillmend-check.exe" --console --read-only &&
        python3 "$root/tests/release/check_pe.py" "$work/signed-quillmend-run.exe" --console &&
        python3 "$root/tests/release/check_pe.py" "$work/signed-quillmend-logon.exe"'
grep '^size:' "$work/out"

bash "$root/scripts/verify-release.sh" "$zip" >"$work/verify.log" 2>&1
status=$?
cat "$work/verify.log"
check "verify-release matches the signed zip" test $status -eq 0
check "verify-release says so" grep -qx "matches the sources" "$work/verify.log"
check "verify-release names the signer" grep -q "thumbprint: $thumbprint" "$work/verify.log"
check "verify-release compares the four programs and the seven scripts" \
  test "$(grep -cE '^quillmend(-check|-run|-logon)?\.exe:$|^quillmend-[a-z-]+\.ps1:$' "$work/verify.log")" -eq 11
check "verify-release says that none of the eleven signatures is time-stamped" \
  test "$(grep -c '^  time stamp: none: ' "$work/verify.log")" -eq 11

# A time stamp from osslsigncode's built-in authority (no server here): reported with its time.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Quillmend throwaway time stamps" \
  -addext "extendedKeyUsage=critical,timeStamping" -keyout "$work/tsa-key.pem" -out "$work/tsa.pem" 2>/dev/null
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -TSA-certs "$work/tsa.pem" -TSA-key "$work/tsa-key.pem" \
  -TSA-time 1765286400 -in "$root/build/win32/quillmend.exe" -out "$work/stamped.exe" >/dev/null
check "a time-stamped signature is reported with its time" \
  python3 -c 'import sys; sys.path.insert(0, sys.argv[1]); from verify_release import signer
stamp = signer(sys.argv[2])[3]; print(stamp); assert "2025" in stamp, stamp' "$root/scripts" "$work/stamped.exe"

# One byte of the program's code changed, a script, and a document, in a copy of the zip.
python3 - "$zip" "$work/tampered.zip" <<'EOF'
import struct, sys, zipfile
source, target = zipfile.ZipFile(sys.argv[1]), zipfile.ZipFile(sys.argv[2], "w")
for info in source.infolist():
    data = bytearray(source.read(info))
    if info.filename.endswith("/quillmend.exe"):
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        text = pe + 24 + struct.unpack_from("<H", data, pe + 20)[0]  # first section header
        code = struct.unpack_from("<I", data, text + 20)[0]
        data[code + 64] ^= 0x01
    if info.filename.endswith("/SECURITY.md"):
        data = data.replace(b"Security", b"Insecurity", 1)
    if info.filename.endswith("/quillmend-detect-registry.ps1"):
        data = data.replace(b"-eq 0", b"-ge 0", 1)
    target.writestr(info, bytes(data))
target.close()
EOF
bash "$root/scripts/verify-release.sh" "$work/tampered.zip" >"$work/verify.log" 2>&1
status=$?
cat "$work/verify.log"
check "verify-release refuses a program with one byte changed" test $status -ne 0
check "and says where it differs" grep -q "bytes differing: [1-9]" "$work/verify.log"
check "and names the changed document" grep -qx "SECURITY.md differs from the sources" "$work/verify.log"
check "and the signed script changed after signing" \
  grep -qx "quillmend-detect-registry.ps1: its signature was not made over this file" "$work/verify.log"

QUILLMEND_SIGN_PASSWORD=wrong QUILLMEND_SIGN_PFX="$work/cert.pfx" \
  bash "$root/scripts/package.sh" "$work/dist" >"$work/package.log" 2>&1
status=$?
cat "$work/package.log"
check "a wrong password fails the package command" test $status -ne 0
check "and leaves no package behind" expect_failure ls "$work"/dist/quillmend-*-win32.zip "$work/dist/SIGNER"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
