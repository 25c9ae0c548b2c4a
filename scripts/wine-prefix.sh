#!/usr/bin/env bash
# Creates the project's private Wine prefix once (build/wineprefix, or the
# folder given). With --without-ui-gothic as the second argument the prefix
# gets no stand-in for "MS UI Gothic", as an English Windows without the
# Japanese supplemental fonts has none.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/wine-env.sh"
export WINEPREFIX="${1:-$here/build/wineprefix}" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
stand_in=yes
[ "${2:-}" = --without-ui-gothic ] && stand_in=no
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wine wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
# Wine's own fonts (Tahoma for the pages, Marlett for the caption buttons)
# reach a prefix only when they were installed before it was made.
fonts="$WINEPREFIX/drive_c/windows/Fonts"
if [ -d /usr/share/wine/fonts ] && [ -d "$fonts" ] && [ ! -e "$fonts/tahoma.ttf" ]; then
  cp /usr/share/wine/fonts/*.ttf "$fonts/"
fi
# The dialogs ask for MS UI Gothic, which Wine lacks. UmePlus P Gothic is the
# stand-in whose metrics come closest: with a wider font the pages outgrow
# the tab control and the texts their controls.
# Wine's helpers stay on the display of the program that started them, so
# nothing may linger from here when a window is to be shown.
if [ $stand_in = yes ] && ! grep -q '"MS UI Gothic"="UmePlus P Gothic"' "$WINEPREFIX/user.reg" 2>/dev/null; then
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "MS UI Gothic" /d "UmePlus P Gothic" /f >/dev/null 2>&1
  wineserver -w
fi
