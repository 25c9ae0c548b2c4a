#!/usr/bin/env bash
# Runs the timing-sensitive UI tests again and again on a machine kept busy:
# one busy loop on every core, as CI's loaded machines are. Each of RUNS
# runs repeats the tests REPEAT times (gtest --gtest_repeat) in English and
# in Japanese; prints the runs that failed and exits 1 if any did.
# Usage: scripts/stress.sh [RUNS [REPEAT [GTEST_FILTER]]]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/wine-env.sh"
cd "$here"
runs=${1:-20}
repeat=${2:-20}
filter=${3:-'WaitingForADrive.*:UtilityPage.ClosingTheMainWindowDuringACountdownEndsTheCheckCleanly:StatusPage.TheIndicatorShowsItsSegmentsAsSoonAsTheTabIsTurnedTo:MainWindow.ACommandTheDriveHoldsLeavesTheWindowAnswering'}
page_filter='ErrorIndicator.*'

source scripts/display.sh
ensure_display
export WINEPREFIX="$here/build/wineprefix" WINEDEBUG=-all
build=build/$runnable_windows_preset/tests

busy=()
for _ in $(seq "$(nproc)"); do
  (while :; do :; done) &
  busy+=($!)
done
trap 'kill "${busy[@]}" 2>/dev/null || true; kill ${XVFB_PID:-} 2>/dev/null || true' EXIT

failed=0
start=$(date +%s)
for run in $(seq "$runs"); do
  for locale in en_US ja_JP; do
    if ! LANG=$locale.UTF-8 timeout 1800 wine "$build/ui_tests.exe" --gtest_filter="$filter" \
         --gtest_repeat="$repeat" --gtest_brief=1 >"/tmp/stress-ui-$run-$locale.log" 2>&1; then
      echo "run $run ($locale): ui_tests failed, see /tmp/stress-ui-$run-$locale.log"
      failed=1
    fi
  done
  if ! LANG=en_US.UTF-8 timeout 600 wine "$build/page_tests.exe" --gtest_filter="$page_filter" \
       --gtest_repeat="$repeat" --gtest_brief=1 >"/tmp/stress-page-$run.log" 2>&1; then
    echo "run $run: page_tests failed, see /tmp/stress-page-$run.log"
    failed=1
  fi
done
echo "$runs runs of $repeat, with $(nproc) busy loops: $([ $failed = 0 ] && echo all passed || echo some failed)" \
     "in $(( $(date +%s) - start )) s"
exit $failed
