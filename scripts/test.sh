#!/usr/bin/env bash
# Builds the host, Windows x86 and Windows x64 configurations and runs every
# test through CTest (the Windows ones under Wine), then a short pass of every
# fuzzer. Installs what is missing first.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
start=$(date +%s)

scripts/setup.sh

source scripts/display.sh
ensure_display

export WINEPREFIX="$here/build/wineprefix" WINEDEBUG=-all
jobs=$(nproc)
for preset in host win32 win64; do
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
echo "=== fuzz (a short pass; scripts/fuzz.sh runs longer) ==="
scripts/fuzz.sh 15
echo "All tests passed in $(( $(date +%s) - start )) s."
