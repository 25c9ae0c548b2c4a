#!/usr/bin/env bash
# The window at 150% scaling: runs the layout tests of UI_TESTS in a Wine
# prefix set to 144 DPI, in English and in Japanese, on an X display of its
# own, and photographs the three tabs from the X server into OUT_DIR.
# Usage: window_at_150_percent.sh UI_TESTS PREFIX_DIR OUT_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
source "$here/scripts/wine-env.sh"
source "$here/scripts/test-groups.sh"
ui_tests=$(realpath "$1")
prefix=$2
out=$(mkdir -p "$3" && cd "$3" && pwd)
rm -f "$out"/*.png "$out"/*.request

rm -rf "$prefix"
"$here/scripts/wine-prefix.sh" "$prefix" >/dev/null
export WINEPREFIX=$(realpath "$prefix") WINEDEBUG=-all
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null
wine reg add 'HKCU\Software\Wine\AppDefaults\ui_tests.exe\X11 Driver' /v Managed /d N /f >/dev/null
wineserver -w

# A display of its own: no other test's window can cover the photographs.
unset DISPLAY
source "$here/scripts/display.sh"
ensure_display
trap 'wineserver -k 2>/dev/null || true; kill ${XVFB_PID:-} 2>/dev/null || true' EXIT

# Takes the photographs the test asks for while it runs.
serve_photographs() {
  local pid=$1 request
  while kill -0 "$pid" 2>/dev/null; do
    for request in "$out"/*.request; do
      [ -e "$request" ] || continue
      sleep 0.5  # the X server shows what was drawn
      import -window root -crop "$(cat "$request")" +repage "${request%.request}.png"
      rm -f "$request"
    done
    sleep 0.1
  done
}

failed=0
for locale in en_US ja_JP; do
  LANG=$locale.UTF-8 NORVANE_EXPECTED_DPI=144 NORVANE_SCREENSHOTS=$(winepath -w "$out") \
    wine "$ui_tests" --gtest_filter="$(test_filter layout)" &
  test_pid=$!
  serve_photographs "$test_pid"
  wait "$test_pid" || failed=1
done
wineserver -w

# Each photograph shows a drawn window: many colours, not an empty frame.
for language in en ja; do
  for tab in setting status utility; do
    photo="$out/$language-$tab.png"
    colours=$(convert "$photo" -format %k info: 2>/dev/null || echo 0)
    if [ "$colours" -lt 16 ]; then
      echo "$photo: $colours colours, not a drawn window" >&2
      failed=1
    fi
  done
done
echo "Screenshots at 150%: $out"
exit $failed
