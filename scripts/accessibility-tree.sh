#!/usr/bin/env bash
# Prints what a screen reader reads of the demo's Status page: runs the demo
# under Wine (on Xvfb without a display), waits the given seconds into its
# audio track (default 15: the scratched stretch) and prints the role, name
# and value of every visible window's accessible object from another
# process. LANG=ja_JP.UTF-8 reads the Japanese interface.
# Usage: scripts/accessibility-tree.sh [seconds]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/wine-env.sh"
cd "$here"
seconds=${1:-15}

export WINEPREFIX="$here/build/wineprefix" WINEDEBUG=-all
title="Norvane BD Drive Utility"
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target NorvaneDriveUtilityDemo accessibility_tree >/dev/null
source scripts/display.sh
ensure_display

wine build/win64/demo/NorvaneDriveUtilityDemo.exe 2>/dev/null &
demo_pid=$!
trap 'kill $demo_pid 2>/dev/null || true; kill ${XVFB_PID:-} 2>/dev/null || true' EXIT
wait_for_window "$title" >/dev/null
wine build/win64/probes/accessibility_tree.exe "$title" "$((seconds * 1000))" | tr -d '\r'
