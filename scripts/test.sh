#!/usr/bin/env bash
# Builds the host, Windows x86 and Windows x64 configurations and runs every
# test through CTest (the Windows ones under Wine), then a short pass of every
# fuzzer. Installs what is missing first.
#
# Compiling keeps both cores busy; most tests wait on Wine and on windows.
# So the Wine prefix is made and the host tests run while the Windows
# builds compile, and the fuzzers build and run beside the x64 tests. Each of those
# lanes writes a log of its own, printed when it ends.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/wine-env.sh"
cd "$here"
start=$(date +%s)
# Each phase says how long it took, so that a slow run shows where.
phase_start=$start
phase_took() { echo "--- $1 took $(( $(date +%s) - phase_start )) s"; phase_start=$(date +%s); }

scripts/setup.sh --without-prefix

echo "=== format ==="
scripts/format.sh --check

source scripts/display.sh
ensure_display

export WINEPREFIX="$here/build/wineprefix" WINEDEBUG=-all
jobs=$(nproc)
logs="$here/build/logs"
mkdir -p "$logs"
phase_took "setup and format check"

# Runs a command in the background, its output in build/logs/NAME.log, as
# a process group of its own, so that a run that fails stops it too.
# (--wait: should setsid ever need to fork, its exit is still the lane's.)
declare -A lane_pids lane_started
start_lane() {
  local name=$1
  shift
  lane_started[$name]=$(date +%s)
  setsid --wait "$@" >"$logs/$name.log" 2>&1 &
  lane_pids[$name]=$!
}
stop_lanes() {
  local pid
  for pid in "${lane_pids[@]}"; do kill -- "-$pid" 2>/dev/null || true; done
  kill "${XVFB_PID:-}" 2>/dev/null || true
}
trap stop_lanes EXIT
# Waits for a lane, prints its log and fails the run if it failed.
finish_lane() {
  local name=$1 status=0
  wait "${lane_pids[$name]}" || status=$?
  unset "lane_pids[$name]"
  echo "=== $name ($(( $(date +%s) - ${lane_started[$name]} )) s) ==="
  cat "$logs/$name.log"
  if [ "$status" -ne 0 ]; then
    echo "FAILED: $name (exit $status)" >&2
    exit "$status"
  fi
}

build() {
  echo "=== $1 build ==="
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j "$jobs" "${@:2}"
  phase_took "$1 build"
}

start_lane wine-prefix scripts/wine-prefix.sh
build host
start_lane host-tests ctest --preset host -j "$jobs"
if runs_x86_programs; then
  build win32
else
  # The x86 programs are compiled and linked (their request block's layout
  # is checked as they compile) for the release checks, first: the packages
  # and the reproducibility check wait for them. Their tests need a kernel
  # that runs x86 and are not built here.
  echo "NOTICE: this kernel cannot start 32-bit programs (no IA-32 emulation): the x86 tests and"
  echo "        the installer's test (an x86 program) are neither built nor run here. They run where it can."
  build win32 --target NorvaneDriveUtility norvane-drive
fi
build win64
finish_lane wine-prefix
finish_lane host-tests
phase_took "Wine prefix and host tests, after the builds"

start_lane fuzz scripts/fuzz.sh 15
# The real-kernel tier's guest waits on its emulated CPU while the Windows
# tests wait on Wine: it runs beside them.
start_lane real-kernel scripts/real-kernel.sh
if runs_x86_programs; then
  echo "=== win32 tests ==="
  ctest --preset win32 -j "$jobs"
  phase_took "win32 tests"
fi
# The tests that share the desktop take it in turn; the others (the
# release's builds, installers and prefixes of their own) run beside them.
echo "=== win64 tests ==="
ctest --preset win64 -j "$((jobs + 2))" $(runs_x86_programs || echo --label-exclude x86_program)
phase_took "win64 tests"
finish_lane fuzz
phase_took "fuzz, after the x64 tests"
finish_lane real-kernel
phase_took "the real kernel, after the fuzzers"
echo "All tests passed in $(( $(date +%s) - start )) s."
