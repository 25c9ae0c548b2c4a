#!/usr/bin/env bash
# A long run of random input on the demo (not part of CI): clicks anywhere in
# the window below its caption, keys (Tab, arrows, Enter, Escape, space, F4,
# Alt+Down, Ctrl+Tab, ...), drive changes in the list and answers to the
# message boxes, for the given minutes (default 20) split between English and
# Japanese, in each Windows build this machine runs.
#
# Every 15 s a probe asks the window to answer (a hang: no answer within 5 s)
# and reads its windows, committed memory and GDI and USER objects (Wine
# reports no GDI or USER counts for another process: they read 0). A demo
# that ends with exit code 0 was closed by a key (Enter and Escape end the
# window outside a bus power check) and is started again; any other end is a
# crash. At the end the demo is closed and must leave no window behind.
# Prints the figures per language and build.
# Usage: scripts/soak.sh [minutes]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/wine-env.sh"
cd "$here"
minutes=${1:-20}

export WINEPREFIX="$here/build/wineprefix" WINEDEBUG=-all
title="Norvane BD Drive Utility"
source scripts/display.sh
ensure_display

presets=(win64)
if runs_x86_programs; then presets=(win32 win64); fi
runs=$((${#presets[@]} * 2))
seconds_per_run=$((minutes * 60 / runs))

for preset in "${presets[@]}"; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target NorvaneDriveUtilityDemo soak_probe >/dev/null
done
# The probe is x64; it reads a window of either build.
probe=build/win64/probes/soak_probe.exe
wine reg add 'HKCU\Software\Wine\AppDefaults\NorvaneDriveUtilityDemo.exe\X11 Driver' \
  /v Decorated /d N /f >/dev/null 2>&1 || true

keys=(Tab shift+Tab Left Right Up Down Return Escape space F4 alt+Down ctrl+Tab ctrl+shift+Tab ctrl+Prior ctrl+Next)

start_demo() {  # build
  wine "build/$1/demo/NorvaneDriveUtilityDemo.exe" &
  demo_pid=$!
  for _ in $(seq 1 600); do
    xdotool search --name "^$title\$" >/dev/null 2>&1 && { sleep 1; return 0; }
    kill -0 "$demo_pid" 2>/dev/null || return 0  # ended before it showed: the loop counts it
    sleep 0.1
  done
  echo "no window after 60 s" >&2
  no_window=$((no_window + 1))
  kill "$demo_pid" 2>/dev/null || true
}

probe() { wine "$probe" "$title" 5000 2>/dev/null | tr -d '\r' || true; }
field() { sed -n "s/.*$1=\([0-9]*\).*/\1/p" <<<"$2"; }

random_input() {
  local window
  window=$(xdotool search --name "^$title\$" 2>/dev/null | head -1) || return 0
  [ -n "$window" ] || return 0
  eval "$(xdotool getwindowgeometry --shell "$window" 2>/dev/null)" || return 0
  case $((RANDOM % 10)) in
    0 | 1 | 2 | 3) xdotool mousemove $((X + RANDOM % WIDTH)) $((Y + 30 + RANDOM % (HEIGHT - 30))) click 1 ;;
    4) xdotool mousemove $((X + 40 + RANDOM % 200)) $((Y + 40)) click 1 key Down key Return ;;  # another drive
    *) xdotool key "${keys[RANDOM % ${#keys[@]}]}" ;;
  esac
}

report=()
trap 'kill ${demo_pid:-} 2>/dev/null || true; kill ${XVFB_PID:-} 2>/dev/null || true' EXIT
for preset in "${presets[@]}"; do
  for lang in en_US ja_JP; do
    export LANG=$lang.UTF-8
    crashes=0 closes=0 hangs=0 probes=0 slowest=0 no_window=0
    start_demo "$preset"
    first=$(probe)
    last=$first
    instance_start=$SECONDS
    end=$((SECONDS + seconds_per_run))
    next_probe=$((SECONDS + 15))
    while [ "$SECONDS" -lt "$end" ]; do
      if ! kill -0 "$demo_pid" 2>/dev/null; then
        code=0
        wait "$demo_pid" || code=$?
        if [ "$code" -eq 0 ]; then closes=$((closes + 1)); else crashes=$((crashes + 1)); fi
        start_demo "$preset"
        first=$(probe)  # the figures compare the start and the end of one run of the demo
        instance_start=$SECONDS
        continue
      fi
      random_input
      sleep 0.$((RANDOM % 3 + 1))
      if [ "$SECONDS" -ge "$next_probe" ]; then
        line=$(probe)
        if [ -n "$(field answered "$line")" ]; then
          probes=$((probes + 1))
          ms=$(field ms "$line")
          # No answer within the 5 s is a hang; a window that a key was
          # closing when the probe asked fails at once and is not one.
          [ "$(field answered "$line")" = 1 ] || [ "$ms" -lt 5000 ] || hangs=$((hangs + 1))
          [ "$ms" -gt "$slowest" ] && slowest=$ms
          last=$line
        fi
        next_probe=$((SECONDS + 15))
      fi
    done
    # Whatever message box is up is answered, then the window is closed.
    for _ in 1 2 3; do
      end_line=$(probe)
      [ -n "$(field answered "$end_line")" ] && last=$end_line
      [ "$(field windows "$end_line")" = 1 ] && break
      xdotool key Escape
      sleep 0.5
    done
    wine build/win64/tests/release/window_probe.exe "$title" 10 >/dev/null 2>&1 || true
    left=0
    sleep 2
    if kill -0 "$demo_pid" 2>/dev/null; then
      left=1
      kill "$demo_pid" 2>/dev/null || true
    fi
    wait "$demo_pid" 2>/dev/null || true
    report+=("$preset $lang: ${seconds_per_run}s, crashes $crashes, starts without a window $no_window, closed by a key $closes, hangs $hangs of $probes probes \
(slowest answer ${slowest} ms), left running after close $left; the last run of the demo \
($((SECONDS - instance_start)) s) at its start: $first; at its end: $last")
  done
done
printf '%s\n' "${report[@]}"
