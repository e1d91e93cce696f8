#!/usr/bin/env bash
# Runs one fuzz target for a bounded time over its committed corpus. New
# inputs go to a scratch folder, so the committed corpus stays as it is.
#   run_fuzzer.sh BINARY CORPUS SECONDS
set -euo pipefail
binary=$1 corpus=$2 seconds=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
"$binary" "$scratch" "$corpus" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$scratch/" \
  > "$scratch/log" 2>&1 || { tail -40 "$scratch/log"; for f in "$scratch"/crash-* "$scratch"/leak-* "$scratch"/timeout-*; do
      [ -e "$f" ] && { echo "input: $f"; xxd "$f" | head -20; }; done; exit 1; }
grep -E "^(Done|stat::number_of_executed_units|stat::peak_rss_mb)" "$scratch/log" || true
