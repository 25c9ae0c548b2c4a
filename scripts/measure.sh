#!/usr/bin/env bash
# Prints the figures we track: the size of the shipped executables and the
# demo's start-up time under Wine (to its window shown), three runs each language,
# and the cost of one Status page update against the emulated drive.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
scripts/setup.sh
for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target NorvaneDriveUtility >/dev/null
  printf '%s NorvaneDriveUtility.exe: %s bytes\n' "$preset" "$(stat -c %s "build/$preset/app/NorvaneDriveUtility.exe")"
done
for lang in en_US.UTF-8 ja_JP.UTF-8; do
  for _ in 1 2 3; do
    printf '%s: ' "$lang"
    env -u DISPLAY LANG="$lang" scripts/run.sh --startup-only 2>/dev/null | grep 'Window shown'
  done
done

cmake --build --preset win32 --target ui_tests >/dev/null
source scripts/display.sh
ensure_display
export WINEPREFIX="$here/build/wineprefix" WINEDEBUG=-all
(cd build/win32/tests && wine ui_tests.exe --gtest_filter='StatusPage.UpdatesAndPaintsLeaveNoGdiObjectBehind') |
  grep '\[ measure'
