#!/usr/bin/env bash
# Runs every fuzz target over its corpus for a short while (FUZZ_SECONDS each).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${FUZZ_SECONDS:-30}
ls "$root"/fuzz/*_fuzz.cpp >/dev/null 2>&1 || { echo "fuzz: no targets"; exit 0; }
"$root/scripts/build.sh" fuzz
for src in "$root"/fuzz/*_fuzz.cpp; do
  name=$(basename "$src" .cpp)
  corpus="$root/fuzz/corpus/$name"
  work=$(mktemp -d)
  mkdir -p "$corpus"
  cp -r "$corpus"/. "$work"/ 2>/dev/null || true
  echo "fuzz: $name for ${seconds}s"
  "$root/build/fuzz/bin/$name" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=0 "$work" 2>&1 | tail -n 3
  rm -rf "$work"
done
echo "fuzz: no findings"
