#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Run as root on a fresh machine; later runs find everything and do nothing.
set -euo pipefail

packages=(cmake g++ make libgtest-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 xvfb python3
          clang libclang-rt-14-dev clang-tidy cppcheck imagemagick)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]} (run this script as root to install them)" >&2
  exit 1
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}" >/dev/null
