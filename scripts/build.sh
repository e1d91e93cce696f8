#!/usr/bin/env bash
# Builds every configuration from the one CMake project:
#   build/win32  the shipped program, build/win32/quillmend.exe (i686)
#   build/win64  the same sources for x86_64, to run under wine64 here, and the test driver
#   build/fuzz   the libFuzzer targets (clang, ASan + UBSan)
#   build/host   the logic, the simulated machine and the tests (g++, ASan + UBSan)
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win32 -j2
cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win64 -j2
CC=clang CXX=clang++ cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=Debug -DQUILLMEND_SANITIZE=ON -DQUILLMEND_FUZZ=ON \
  >/dev/null
cmake --build build/fuzz -j2
cmake -S . -B build/host -DCMAKE_BUILD_TYPE=Debug -DQUILLMEND_SANITIZE=ON \
  -DQUILLMEND_WIN32_EXE="$PWD/build/win32/quillmend.exe" \
  -DQUILLMEND_WIN64_EXE="$PWD/build/win64/quillmend.exe" \
  -DQUILLMEND_FUZZ_DIR="$PWD/build/fuzz" >/dev/null
cmake --build build/host -j2
