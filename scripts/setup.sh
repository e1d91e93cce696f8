#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing, and
# lets the shipped 32-bit program run here: this kernel executes no 32-bit
# code, so i386 ELF programs (wine32's loader) go through qemu-i386-static,
# registered with binfmt_misc. Run as root on a fresh machine; later runs find
# everything in place and do nothing.
set -euo pipefail

packages=(cmake g++ make libgtest-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 wine32:i386
          qemu-user-static xvfb python3 clang lld llvm libclang-rt-14-dev clang-tidy cppcheck imagemagick
          osslsigncode openssl)

need_root() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "$1 (run this script as root)" >&2
    exit 1
  fi
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  need_root "missing packages: ${missing[*]}"
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# i386 ELF through qemu. Debian's qemu-user-static registers only foreign
# architectures, never the host's own family, so i386 is registered here. The
# F flag opens the interpreter now, so it also works inside other mount
# namespaces.
binfmt=/proc/sys/fs/binfmt_misc
if [ ! -e "$binfmt/qemu-i386" ]; then
  need_root "qemu-i386 is not registered with binfmt_misc"
  [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
    > "$binfmt/register"
  echo "registered qemu-i386 with binfmt_misc"
fi
