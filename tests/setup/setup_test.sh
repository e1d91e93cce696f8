#!/usr/bin/env bash
# scripts/setup.sh against stand-ins for dpkg-query, dpkg and apt-get on the
# PATH, so no network is needed: a failing index is retried and named, a
# failing install is tried once more with the base release preferred, and a
# machine with every package makes no apt-get call at all.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
index=http://deb.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz
cat >"$work/bin/dpkg-query" <<'STUB'
#!/bin/sh
[ -n "$STUB_ALL_PRESENT" ] && echo "install ok installed"
exit 0
STUB
cat >"$work/bin/dpkg" <<'STUB'
#!/bin/sh
echo i386
STUB
cat >"$work/bin/apt-get" <<STUB
#!/bin/sh
echo "apt-get \$*" >>"$work/calls"
case "\$*" in
  *update*) [ -n "\$STUB_FAIL_UPDATE" ] && { echo "E: Failed to fetch $index  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2; exit 100; } ;;
  *Default-Release*) [ -n "\$STUB_FAIL_ALL" ] && exit 100 ;;
  *install*) [ -n "\$STUB_FAIL_INSTALL" ] && { echo "E: Unable to correct problems" >&2; exit 100; } ;;
esac
exit 0
STUB
chmod +x "$work/bin/"*
base=$(. /etc/os-release && echo "$VERSION_CODENAME")

passed=0 failed=0
expect() {  # expect NAME CONDITION...
  if "${@:2}"; then passed=$((passed + 1)); echo "ok    $1"
  else failed=$((failed + 1)); echo "FAIL  $1"; sed 's/^/      /' "$work/out" "$work/calls" 2>/dev/null; fi
}
setup() {  # setup VAR=VALUE...: runs setup.sh with the stand-ins; sets code
  rm -f "$work/calls"; touch "$work/calls"
  env "$@" PATH="$work/bin:$PATH" QUILLMEND_APT_UPDATE_PAUSE=0 bash "$root/scripts/setup.sh" >"$work/out" 2>&1
  code=$?
}
count() { grep -c "$1" "$work/calls"; }

setup STUB_ALL_PRESENT=1
expect "every package present: no apt-get call" test "$code" = 0 -a ! -s "$work/calls"

setup STUB_FAIL_UPDATE=1
expect "a failing index: update tried 4 times, then the install goes on" \
  test "$code" = 0 -a "$(count ' update')" = 4 -a "$(count ' install')" = 1
expect "the failed index is named" grep -q "not fetched: $index" "$work/out"

setup STUB_FAIL_UPDATE=1 STUB_FAIL_INSTALL=1
expect "an install that does not resolve: once more with the base release preferred" \
  test "$code" = 0 -a "$(grep -c "install .*-o APT::Default-Release=$base " "$work/calls")" = 1
expect "and it says so" grep -q "preferring the base release $base" "$work/out"

setup STUB_FAIL_UPDATE=1 STUB_FAIL_INSTALL=1 STUB_FAIL_ALL=1
expect "both installs failing: stops, naming the index and the command by hand" \
  eval 'test "$code" != 0 && grep -q "index not fetched: $index" "$work/out" &&
        grep -q "by hand, as root: apt-get update; apt-get install -o APT::Default-Release=$base " "$work/out"'

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
