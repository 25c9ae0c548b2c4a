#!/usr/bin/env bash
# How long the demo's window takes to answer again after a message box of
# it closes (the force eject's question, cancelled), without and with a
# window manager on the X display (openbox, installed when missing). Wine
# waits up to two seconds for a window manager to withdraw a window it
# hides; under a bare Xvfb there is none, so that wait is the test
# machine's, not what a user with a desktop sees.
# Usage: scripts/measure-box-close.sh [rounds]   (default 5)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/wine-env.sh"
cd "$here"
rounds=${1:-5}
command -v openbox >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -q openbox >/dev/null

# A prefix of its own: the window manager's settings must not reach the others.
export WINEPREFIX="$here/build/wineprefix-box-close" WINEDEBUG=-all
[ -d "$WINEPREFIX" ] || scripts/wine-prefix.sh "$WINEPREFIX" >/dev/null
title="Norvane BD Drive Utility"
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target NorvaneDriveUtilityDemo soak_probe >/dev/null
probe=build/win64/probes/soak_probe.exe

# One display per setting, so that each starts clean.
measure() {  # label with-window-manager
  unset DISPLAY
  source scripts/display.sh
  ensure_display
  local wm_pid=""
  if [ "$2" = yes ]; then openbox >/dev/null 2>&1 & wm_pid=$!; sleep 1; fi
  # Wine starts its helper processes on the display of the first program it
  # runs, so the display comes first. The caption is the window manager's,
  # as on a desktop.
  wine reg add 'HKCU\Software\Wine\AppDefaults\NorvaneDriveUtilityDemo.exe\X11 Driver' \
    /v Decorated /d Y /f >/dev/null 2>&1
  wine build/win64/demo/NorvaneDriveUtilityDemo.exe 2>/dev/null &
  local demo_pid=$! window times=()
  window=$(wait_for_window "$title")
  sleep 1
  for _ in $(seq 1 "$rounds"); do
    # The force eject's question on the Utility page (Ctrl+PgUp from the
    # Setting page, then Tab to the button), cancelled with Escape. The
    # keyboard, because a window manager has keys of its own for the menus.
    xdotool windowactivate --sync "$window" >/dev/null 2>&1 || xdotool windowfocus "$window"
    xdotool key ctrl+Prior Tab Tab Tab space; sleep 1
    xdotool key Escape
    times+=("$(wine "$probe" "$title" 10000 2>/dev/null | tr -d '\r' | sed -n 's/.*ms=\([0-9]*\).*/\1/p' || true)")
    xdotool key ctrl+Next  # back to the Setting page
    sleep 1
  done
  echo "$1: answered after the box closed in ${times[*]} ms"
  kill "$demo_pid" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  if [ -n "$wm_pid" ]; then kill "$wm_pid" 2>/dev/null || true; fi
  kill "$XVFB_PID" 2>/dev/null || true
}
measure "without a window manager" no
measure "with openbox" yes
