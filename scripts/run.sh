#!/usr/bin/env bash
# Builds the demo (the utility on emulated drives) and runs it under Wine.
# With an X display it shows the window until it is closed. Without one it
# runs the demo under Xvfb, saves a screenshot of each tab in screenshots/,
# prints their paths and closes the demo. LANG=ja_JP.UTF-8 shows the Japanese interface.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/wine-env.sh"
cd "$here"

scripts/setup.sh

cmake --preset "$runnable_windows_preset" >/dev/null
cmake --build --preset "$runnable_windows_preset" --target NorvaneDriveUtilityDemo

export WINEPREFIX="$here/build/wineprefix" WINEDEBUG=-all

demo=build/$runnable_windows_preset/demo/NorvaneDriveUtilityDemo.exe
title="Norvane BD Drive Utility"

# Wine draws the window's caption itself, so that it shows even when no
# window manager runs (as under Xvfb). Wine starts its helper processes on the
# display of the first program it runs, so a display comes first.
decorate_by_wine() {
  wine reg add 'HKCU\Software\Wine\AppDefaults\NorvaneDriveUtilityDemo.exe\X11 Driver' \
    /v Decorated /d N /f >/dev/null 2>&1 || true
}

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  decorate_by_wine
  exec wine "$demo"
fi

source scripts/display.sh
ensure_display
decorate_by_wine

window_shown() {
  if command -v xwininfo >/dev/null; then
    xwininfo -name "$title" >/dev/null 2>&1
  else
    [ "$SECONDS" -ge 8 ]  # no way to ask X: give it time
  fi
}

SECONDS=0
started=$(date +%s.%N)
wine "$demo" &
demo_pid=$!
trap 'kill $demo_pid 2>/dev/null || true; kill ${XVFB_PID:-} 2>/dev/null || true' EXIT

until window_shown; do
  if ! kill -0 "$demo_pid" 2>/dev/null; then
    echo "the demo ended before its window showed" >&2
    exit 1
  fi
  if [ "$SECONDS" -ge 60 ]; then
    echo "no window after 60 s" >&2
    exit 1
  fi
  sleep 0.1
done
shown=$(date +%s.%N)
sleep 1  # let the pages paint

language=en
case "${LANG:-}" in ja*) language=ja ;; esac
mkdir -p screenshots
awk -v from="$started" -v to="$shown" 'BEGIN { printf "Window shown after %.1f s.\n", to - from }'
[ "${1:-}" = --startup-only ] && exit 0

# One screenshot of each tab. The tab labels are the same in both languages;
# these are the middles of their headers, from the window's top-left corner.
window=$(xdotool search --name "$title" | head -1)
eval "$(xdotool getwindowgeometry --shell "$window")"
tab_x=(50 113 172)
click_tab() {  # index
  xdotool mousemove $((X + tab_x[$1])) $((Y + 82)) click 1
  sleep 0.5
}
screenshot_of_tab() {  # index name
  click_tab "$1"
  local shot="$here/screenshots/demo-$language-$2.png"
  import -window root "$shot"
  echo "Screenshot: $shot"
}
screenshot_of_tab 0 setting
screenshot_of_tab 2 utility
# The Status tab from here on, so that the quality history covers the play
# from its first seconds.
click_tab 1
# Each play of the demo's audio track reaches its scratched stretch after
# 10 s and its deep scratch after 25 s; at 35 s the Status tab shows them in red.
sleep "$(awk -v from="$started" -v now="$(date +%s.%N)" 'BEGIN { d = 35 - (now - from); print (d > 0 ? d : 0) }')"
screenshot_of_tab 1 status
# The quality history of the play so far, from the last item of the window's
# system menu (Alt+Space opens the menu, Up wraps round to its last item),
# beside the window.
xdotool key --window "$window" alt+space
sleep 0.5
xdotool key Up Return
history_title="Quality history"
[ "$language" = ja ] && history_title="品質の履歴"
[ -n "$(wait_for_window "$history_title")" ] || echo "the quality history window did not show" >&2
sleep 1
shot="$here/screenshots/demo-$language-history.png"
import -window root "$shot"
echo "Screenshot: $shot"
