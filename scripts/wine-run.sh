#!/usr/bin/env bash
# Runs a Windows executable in the project's private Wine prefix (used by CTest).
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/wine-env.sh"
export WINEPREFIX="${WINEPREFIX:-$here/build/wineprefix}" WINEDEBUG="${WINEDEBUG:--all}"
exec wine "$@"
