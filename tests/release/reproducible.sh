#!/usr/bin/env bash
# Two builds of the same sources in different folders must give the same
# quillmend.exe, quillmend-check.exe, quillmend-run.exe and quillmend-logon.exe, byte for byte.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for dir in a "second build, elsewhere"; do
  mkdir -p "$work/$dir/src"
  # The tracked files where there is a checkout, else the tree as it is.
  if git -C "$source_dir" rev-parse --git-dir >/dev/null 2>&1; then
    (cd "$source_dir" && git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$work/$dir/src")
  else
    cp -r "$source_dir/." "$work/$dir/src"; rm -rf "$work/$dir/src/build"
  fi
  cmake -S "$work/$dir/src" -B "$work/$dir/build" -DCMAKE_TOOLCHAIN_FILE="$work/$dir/src/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$work/$dir/build" >/dev/null
done

failed=0
for program in quillmend.exe quillmend-check.exe quillmend-run.exe quillmend-logon.exe; do
  first="$work/a/build/$program"
  second="$work/second build, elsewhere/build/$program"
  sha256sum "$first" "$second" | sed "s|$work/||"
  if ! cmp "$first" "$second"; then
    echo "the two builds of $program differ"
    failed=$((failed + 1))
  fi
done
echo "$((3 - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
