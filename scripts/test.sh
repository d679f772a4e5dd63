#!/usr/bin/env bash
# Sets up, builds and runs every test: the unit and process tests under the
# address and undefined-behaviour sanitizers, then a short fuzz run on the corpus.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" sanitize
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$root/build/sanitize" --output-on-failure -j "$(nproc)"
"$root/scripts/fuzz.sh"
