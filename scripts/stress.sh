#!/usr/bin/env bash
# Runs the timing-sensitive UI tests again and again on a machine kept busy:
# one busy loop on every core, as CI's loaded machines are. Each of RUNS
# runs repeats the tests REPEAT times (gtest --gtest_repeat), the runs in
# English and in Japanese by turns; prints the runs that failed and exits 1
# if any did.
#
# The runs share out over LANES (default: two per core), each with an X
# display and a copy of the Wine prefix of its own, so that no lane's window
# takes the focus from another's: more load still, and the runs end sooner.
# Usage: scripts/stress.sh [RUNS [REPEAT [GTEST_FILTER [LANES]]]]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/wine-env.sh"
source "$here/scripts/test-groups.sh"
cd "$here"
runs=${1:-20}
repeat=${2:-20}
filter=${3:-$(test_filter stress)}
lanes=${4:-$(( $(nproc) * 2 ))}
page_filter=$(test_filter stress_pages)
tests=$here/build/$runnable_windows_preset/tests
work=$here/build/stress
logs=$work/logs
rm -rf "$work"
mkdir -p "$logs"

busy=()
for _ in $(seq "$(nproc)"); do
  (while :; do :; done) &
  busy+=($!)
done
trap 'kill "${busy[@]}" 2>/dev/null || true' EXIT

# One lane: runs LANE, LANE + LANES, ... on its own display and prefix.
run_lane() {
  local lane=$1 run locale failed=0
  unset DISPLAY
  source scripts/display.sh
  ensure_display
  export WINEPREFIX=$work/prefix-$lane WINEDEBUG=-all
  cp -a build/wineprefix "$WINEPREFIX"
  for ((run = lane; run <= runs; run += lanes)); do
    locale=$([ $((run % 2)) = 1 ] && echo en_US || echo ja_JP)
    if ! LANG=$locale.UTF-8 timeout 3600 wine "$tests/ui_tests.exe" --gtest_filter="$filter" \
         --gtest_repeat="$repeat" --gtest_brief=1 >"$logs/ui-$run-$locale.log" 2>&1; then
      echo "run $run ($locale): ui_tests failed, see $logs/ui-$run-$locale.log"
      failed=1
    fi
    # The page tests check English texts, as their CTest entry runs them.
    if ! LANG=en_US.UTF-8 timeout 600 wine "$tests/page_tests.exe" --gtest_filter="$page_filter" \
         --gtest_repeat="$repeat" --gtest_brief=1 >"$logs/page-$run-$locale.log" 2>&1; then
      echo "run $run: page_tests failed, see $logs/page-$run-$locale.log"
      failed=1
    fi
  done
  wineserver -k 2>/dev/null || true
  return $failed
}

start=$(date +%s)
pids=()
for lane in $(seq "$lanes"); do
  run_lane "$lane" &
  pids+=($!)
done
failed=0
for pid in "${pids[@]}"; do wait "$pid" || failed=1; done
echo "$runs runs of $repeat in $lanes lanes, with $(nproc) busy loops: $([ $failed = 0 ] && echo all passed || echo some failed)" \
     "in $(( $(date +%s) - start )) s"
exit $failed
