#!/usr/bin/env bash
# Builds and packages the release: dist/quillmend-<version>-win32.zip,
# dist/SHA256SUMS and, when signed, dist/SIGNER. Signs the programs and scripts
# when QUILLMEND_SIGN_PFX, QUILLMEND_SIGN_PASSWORD and QUILLMEND_TIMESTAMP_URL
# are set (scripts/package.py says more). An output folder other than dist/ may be given.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win32 -j2 >/dev/null
for check in "build/win32/quillmend.exe" "build/win32/quillmend-check.exe --console --read-only" \
  "build/win32/quillmend-run.exe --console --messages docs/fleet-results.md"; do
  # shellcheck disable=SC2086  # the program and its options
  python3 tests/release/check_pe.py $check >/dev/null || { python3 tests/release/check_pe.py $check; exit 1; }
done
python3 scripts/package.py "$@"
