#!/usr/bin/env bash
# Every test: installs what is missing, builds the three configurations and
# runs the whole suite through CTest (host tests under ASan and UBSan, the
# Wine end-to-end tests, the binary checks).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/build.sh
cd build/host
ctest --output-on-failure -j2 "$@"
