#!/usr/bin/env bash
# Builds the host, Windows x86 and Windows x64 configurations and runs every
# test through CTest (the Windows ones under Wine), then a short pass of every
# fuzzer. Installs what is missing first.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/wine-env.sh"
cd "$here"
start=$(date +%s)
# Each phase says how long it took, so that a slow run shows where.
phase_start=$start
phase_took() { echo "--- $1 took $(( $(date +%s) - phase_start )) s"; phase_start=$(date +%s); }

scripts/setup.sh

echo "=== format ==="
scripts/format.sh --check

source scripts/display.sh
ensure_display

export WINEPREFIX="$here/build/wineprefix" WINEDEBUG=-all
jobs=$(nproc)
phase_took "setup and format check"
for preset in host win32 win64; do
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  phase_took "$preset build"
  if [ "$preset" = win32 ] && ! runs_x86_programs; then
    # The x86 build is compiled and linked (its request block's layout is
    # checked as it compiles); its tests need a kernel that runs x86.
    echo "NOTICE: this kernel cannot start 32-bit programs (no IA-32 emulation): the x86 tests and"
    echo "        the installer's test (an x86 program) do not run here. They run where it can."
    continue
  fi
  if runs_x86_programs; then
    ctest --preset "$preset" -j "$jobs"
  else
    ctest --preset "$preset" -j "$jobs" --label-exclude x86_program
  fi
  phase_took "$preset tests"
done
echo "=== fuzz (a short pass; scripts/fuzz.sh runs longer) ==="
scripts/fuzz.sh 15
phase_took "fuzz"
echo "All tests passed in $(( $(date +%s) - start )) s."
