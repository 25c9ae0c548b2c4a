#!/usr/bin/env bash
# Runs the kernel path alone: the shipped x86 and x64 programs under Wine and
# norvane-drive (Linux and Windows), each down to SG_IO on the emulated drives, and the same
# actions in-process. Builds what they need first (scripts/test.sh runs them
# with everything else).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
source scripts/wine-env.sh

source scripts/display.sh
ensure_display

export WINEPREFIX="$here/build/wineprefix" WINEDEBUG=-all
jobs=$(nproc)
cmake --preset host >/dev/null
cmake --build --preset host -j "$jobs" --target kernel_path_tests
ctest --preset host -R kernel_path
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs" --target NorvaneDriveUtility norvane-drive kernel_path_driver ui_tests
  if [ "$preset" = win32 ] && ! runs_x86_programs; then
    echo "NOTICE: this kernel cannot start 32-bit programs: the x86 program's kernel path does not run here."
    continue
  fi
  ctest --preset "$preset" -R kernel_path
done
