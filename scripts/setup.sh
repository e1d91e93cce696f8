#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing, and
# lets the shipped 32-bit program run here: this kernel executes no 32-bit
# code, so i386 ELF programs (wine32's loader) go through qemu-i386-static,
# registered with binfmt_misc. Run as root on a fresh machine; later runs find
# everything in place and do nothing.
#
# A package mirror in the middle of a sync serves an index of the wrong size
# now and then. apt-get update is then tried again a few times, and the install
# goes on with the lists it has; when those do not resolve, it is tried once
# more preferring the machine's base release. Every package need goes through
# install_packages, so each one gets that treatment.
set -euo pipefail

packages=(cmake g++ make libgtest-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 wine32:i386
          qemu-user-static xvfb python3 clang lld llvm libclang-rt-14-dev clang-tidy cppcheck imagemagick
          osslsigncode openssl)
update_attempts=${QUILLMEND_APT_UPDATE_ATTEMPTS:-4}
update_pause=${QUILLMEND_APT_UPDATE_PAUSE:-10}

need_root() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "$1 (run this script as root)" >&2
    exit 1
  fi
}

# The indexes apt-get could not fetch, one per line, from its messages.
failed_indexes() { sed -n 's/^E: Failed to fetch \([^ ]*\).*/\1/p' "$1" | sort -u; }

install_packages() {  # install_packages PACKAGE...
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  need_root "missing packages: ${missing[*]}"
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386

  local log attempt failed=""
  log=$(mktemp)
  for ((attempt = 1; attempt <= update_attempts; attempt++)); do
    if apt-get update -qq >"$log" 2>&1; then failed=""; break; fi
    failed=$(failed_indexes "$log")
    [ -n "$failed" ] || failed="(apt-get update exited non-zero: $(tail -n 1 "$log"))"
    echo "apt-get update failed (attempt $attempt of $update_attempts): $(echo "$failed" | tr '\n' ' ')"
    if [ "$attempt" -lt "$update_attempts" ]; then sleep "$update_pause"; fi
  done
  if [ -n "$failed" ]; then
    echo "going on with the package lists this machine has; not fetched: $(echo "$failed" | tr '\n' ' ')"
  fi

  if apt-get install -y -qq "${missing[@]}" >"$log" 2>&1; then rm -f "$log"; return 0; fi
  local base
  base=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  if [ -n "$base" ]; then
    echo "the install did not resolve; installing once more preferring the base release $base"
    if apt-get install -y -qq -o "APT::Default-Release=$base" "${missing[@]}" >"$log" 2>&1; then
      echo "installed from $base"
      rm -f "$log"
      return 0
    fi
  fi
  sed 's/^/  apt-get: /' "$log" >&2
  rm -f "$log"
  echo "could not install: ${missing[*]}" >&2
  if [ -n "$failed" ]; then echo "index not fetched: $(echo "$failed" | tr '\n' ' ')" >&2; fi
  echo "by hand, as root: apt-get update; apt-get install -o APT::Default-Release=${base:-<codename>} ${missing[*]}" >&2
  exit 1
}

install_packages "${packages[@]}"

# The PowerShell grammar the release checks parse the shipped scripts with, from
# the npm registry at the versions package-lock.json pins (WebAssembly: no
# native build, no install scripts). A registry that does not answer is tried
# again a few times.
grammar="$(dirname "$0")/../tests/release/powershell"
if [ ! -f "$grammar/node_modules/tree-sitter-powershell/tree-sitter-powershell.wasm" ]; then
  for ((attempt = 1; ; attempt++)); do
    if npm ci --prefix "$grammar" --ignore-scripts --no-audit --no-fund >/dev/null 2>&1; then break; fi
    if [ "$attempt" -ge "$update_attempts" ]; then
      echo "could not install the PowerShell grammar from the npm registry: by hand, npm ci --prefix $grammar" >&2
      exit 1
    fi
    echo "npm ci failed (attempt $attempt of $update_attempts)"
    sleep "$update_pause"
  done
fi

# osslsigncode signs PowerShell scripts from 2.8 on; older ones sign only the programs.
signer=$(osslsigncode --version 2>/dev/null | sed -n '1s/^osslsigncode \([0-9][0-9.]*\).*/\1/p')
if [ -z "$signer" ] || [ "$(printf '%s\n' 2.8 "$signer" | sort -V | head -n 1)" != 2.8 ]; then
  echo "osslsigncode ${signer:-(unknown version)} is older than 2.8: it cannot sign the release's PowerShell scripts" \
       "(Debian's bookworm-backports has 2.9); a signed release cannot be made until it is newer"
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
