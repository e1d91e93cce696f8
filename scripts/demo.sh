#!/usr/bin/env bash
# The demo: installs what is missing, builds, and runs the shipped 32-bit
# quillmend.exe /S (build/win32, under wine32 through qemu-i386) on a throwaway
# 64-bit Wine machine with a typical state, showing both registry views and
# what quillmend-check.exe says before and after the run; then, on the same
# machine, the fleet job: quillmend-run.exe /install, its lines, its CMTrace
# log, its .reg backup and that backup put back with reg import.
# With --interactive: runs it without /S on a virtual display, answers Yes to
# each prompt and saves a screenshot of every box under docs/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win32 -j2 >/dev/null
# The x86_64 build folder holds the test driver that answers the boxes.
cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win64 -j2 >/dev/null
python3 scripts/demo.py --exe build/win32/quillmend.exe --driver build/win64/wine_driver.exe "$@"
