#!/usr/bin/env bash
# Builds into build/<kind>: "release" (default) or "sanitize".
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kind=${1:-release}
case "$kind" in
  release) opts=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  sanitize) opts=(-DCMAKE_BUILD_TYPE=Debug -DTOLVARIN_SANITIZE=ON) ;;
  fuzz) opts=(-DCMAKE_BUILD_TYPE=Debug -DTOLVARIN_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++) ;;
  *) echo "build: unknown kind $kind" >&2; exit 2 ;;
esac
cmake -S "$root" -B "$root/build/$kind" -G Ninja "${opts[@]}" >/dev/null
cmake --build "$root/build/$kind" -j "$(nproc)"
