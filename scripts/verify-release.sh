#!/usr/bin/env bash
# Checks a released quillmend.exe, or the release zip, against the sources of
# this checkout: prints "matches the sources" with both SHA-256 sums, or where
# they differ and exits non-zero. Prints the signer when the file is signed.
#   scripts/verify-release.sh dist/quillmend-1.0.0-win32.zip
set -euo pipefail
file=$(realpath "${1:?usage: scripts/verify-release.sh PATH-TO-ZIP-OR-EXE}")
cd "$(dirname "$0")/.."
bash scripts/setup.sh >&2
python3 scripts/verify_release.py "$file"
