#!/usr/bin/env bash
# The demo: installs what is missing, builds, and runs quillmend.exe /S (the
# x86_64 build, under wine64) on a throwaway Wine machine with a typical state.
# With --interactive: runs it without /S on a virtual display, answers Yes to
# each prompt and saves a screenshot of every box under docs/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win64 -j2 >/dev/null
python3 scripts/demo.py --exe build/win64/quillmend.exe --driver build/win64/wine_driver.exe "$@"
