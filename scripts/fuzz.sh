#!/usr/bin/env bash
# Runs every fuzz target over its corpus for a short while (FUZZ_SECONDS each).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${FUZZ_SECONDS:-30}
ls "$root"/fuzz/*_fuzz.cpp >/dev/null 2>&1 || { echo "fuzz: no targets"; exit 0; }
"$root/scripts/build.sh" fuzz
findings=$(mktemp -d)
for src in "$root"/fuzz/*_fuzz.cpp; do
  name=$(basename "$src" .cpp)
  corpus="$root/fuzz/corpus/$name"
  work=$(mktemp -d)
  mkdir -p "$corpus"
  cp -r "$corpus"/. "$work"/ 2>/dev/null || true
  echo "fuzz: $name for ${seconds}s"
  # Findings are kept outside the tree; the run fails on the first one.
  if ! "$root/build/fuzz/bin/$name" -max_total_time="$seconds" -rss_limit_mb=2048 -artifact_prefix="$findings/" \
      "$work" >"$findings/$name.log" 2>&1; then
    tail -n 40 "$findings/$name.log"
    echo "fuzz: $name found a problem; its input is in $findings"
    exit 1
  fi
  tail -n 1 "$findings/$name.log"
  rm -rf "$work"
done
rm -rf "$findings"
echo "fuzz: no findings"
