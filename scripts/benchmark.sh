#!/usr/bin/env bash
# Benchmark (a measurement, not a test): median time of quillmend.exe /S under
# wine64 against do-nothing programs of the same build, and the .exe sizes.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh >/dev/null
python3 scripts/benchmark.py "$@"
