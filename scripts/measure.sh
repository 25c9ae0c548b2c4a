#!/usr/bin/env bash
# Prints the figures we track, as one table:
#   start-up to a shown window and resident memory, the demo against an
#   empty dialog built in the same tree (alternating runs under one warm
#   Wine, medians); the size of the shipped executables; drive commands per
#   user action; heap allocations per drive command; one Status update's
#   cost; GDI objects and windows after 10,000 Status updates and 1,000
#   Settings clicks. RUNS=n sets the number of start-up runs (default 9).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/wine-env.sh"
source "$here/scripts/test-groups.sh"
cd "$here"
runs=${RUNS:-9}

scripts/setup.sh >/dev/null
for preset in host win32 win64; do
  cmake --preset "$preset" >/dev/null
done
cmake --build --preset host -j "$(nproc)" --target drive_tests >/dev/null
cmake --build --preset "$runnable_windows_preset" -j "$(nproc)" --target NorvaneDriveUtility NorvaneDriveUtilityDemo EmptyDialog ui_tests >/dev/null
cmake --build --preset win32 -j "$(nproc)" --target NorvaneDriveUtility >/dev/null
cmake --build --preset win64 -j "$(nproc)" --target NorvaneDriveUtility >/dev/null

source scripts/display.sh
ensure_display
export WINEPREFIX="$here/build/wineprefix" WINEDEBUG=-all
# The persistent Wine and its services go with the script.
trap 'wineserver -k 2>/dev/null || true; kill ${XVFB_PID:-} 2>/dev/null || true' EXIT

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Starts a program, waits for its window, prints "seconds rss-kB", ends it.
time_to_window() {  # exe title
  local started shown pid rss
  started=$(date +%s.%N)
  wine "$1" >/dev/null 2>&1 &
  pid=$!
  until xwininfo -name "$2" >/dev/null 2>&1; do sleep 0.01; done
  shown=$(date +%s.%N)
  sleep 1  # settled: pages painted, first timers run
  rss=$(awk '/VmRSS/ { print $2 }' "/proc/$pid/status")
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  while xwininfo -name "$2" >/dev/null 2>&1; do sleep 0.05; done
  awk -v a="$started" -v b="$shown" -v r="$rss" 'BEGIN { printf "%.3f %d\n", b - a, r }'
}

demo=build/$runnable_windows_preset/demo/NorvaneDriveUtilityDemo.exe
empty=build/$runnable_windows_preset/probes/EmptyDialog.exe
for exe in NorvaneDriveUtilityDemo.exe EmptyDialog.exe; do
  wine reg add "HKCU\\Software\\Wine\\AppDefaults\\$exe\\X11 Driver" /v Decorated /d N /f >/dev/null 2>&1
done
# One warm Wine for every run, on this display: Wine's helpers stay on the
# display they were started on.
wineserver -k 2>/dev/null || true
wineserver -p >/dev/null 2>&1
time_to_window "$demo" "Norvane BD Drive Utility" >/dev/null
time_to_window "$empty" "Empty Dialog" >/dev/null
: >build/measure-demo.txt
: >build/measure-empty.txt
for _ in $(seq "$runs"); do
  time_to_window "$demo" "Norvane BD Drive Utility" >>build/measure-demo.txt
  time_to_window "$empty" "Empty Dialog" >>build/measure-empty.txt
done
demo_start=$(cut -d' ' -f1 build/measure-demo.txt | median)
empty_start=$(cut -d' ' -f1 build/measure-empty.txt | median)
demo_rss=$(cut -d' ' -f2 build/measure-demo.txt | median)
empty_rss=$(cut -d' ' -f2 build/measure-empty.txt | median)

measure_lines() {  # test-executable filter
  "$@" | grep '\[ measure' | sed 's/^\[ measure  \] //'
}

echo
echo "| figure | value |"
echo "|---|---|"
awk -v d="$demo_start" -v e="$empty_start" -v n="$runs" 'BEGIN {
  printf "| start-up to a shown window, median of %d (demo / empty dialog) | %.3f s / %.3f s = %.2fx |\n", n, d, e, d / e }'
awk -v d="$demo_rss" -v e="$empty_rss" 'BEGIN {
  printf "| resident memory, median (demo / empty dialog) | %.1f MiB / %.1f MiB = %.2fx |\n", d / 1024, e / 1024, d / e }'
for preset in win32 win64; do
  printf '| shipped NorvaneDriveUtility.exe (%s) | %s bytes |\n' \
    "$([ "$preset" = win32 ] && echo x86 || echo x64)" "$(stat -c %s "build/$preset/app/NorvaneDriveUtility.exe")"
done
(cd build/$runnable_windows_preset/tests &&
  measure_lines wine ui_tests.exe --gtest_filter="$(test_filter gdi_leak measure)") |
  sed -E 's/^Status tick: ([0-9]+ us); (.*)$/| one Status update (tick) under Wine | \1 |\n| \2 | no leak |/;
          s/^GDI headroom (.*)$/| GDI headroom and windows, 10,000 Status updates and 1,000 Settings clicks | \1 |/'
echo
echo "Heap allocations per drive command (host build):"
measure_lines build/host/tests/drive_tests --gtest_filter="$(test_filter allocations)" | sed 's/^/  /'
echo
echo "Drive commands per user action (to the selected drive / to all drives), and the fault matrix:"
(cd build/$runnable_windows_preset/tests && wine ui_tests.exe --gtest_filter="$(test_filter fault_matrix)") |
  awk '/^action/ { on = 1 } on && /^\[/ { on = 0 } on { print "  " $0 }'
