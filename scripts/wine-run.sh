#!/usr/bin/env bash
# Runs a Windows executable in the project's private Wine prefix (used by CTest).
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/wine-env.sh"
export WINEPREFIX="${WINEPREFIX:-$here/build/wineprefix}" WINEDEBUG="${WINEDEBUG:--all}"
# A prefix that Wine made by itself on a first run lacks the fonts and the
# font replacement the windows' layout is measured in: complete it first.
"$here/scripts/wine-prefix.sh" "$WINEPREFIX" >/dev/null
exec wine "$@"
