#!/usr/bin/env bash
# The installer under Wine, in a prefix of its own (64-bit Windows): a silent
# install puts the x64 programs (the window and norvane-drive.exe), the help
# files and the texts into Program Files, the shortcut into the Start menu
# and the entry into "Apps and features" (read back from the registry), and
# leaves PATH alone; the installed program starts and shows its window; the
# silent uninstall removes the files, the shortcut and the entry, and nothing
# else. With /AddToPath the program's folder goes onto the system's PATH and
# the uninstall takes it off again; a PATH too long for the installer's
# strings is left whole.
# Usage: installer_test.sh INSTALLER X64_BUILD WINDOW_PROBE PREFIX_DIR VERSION
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
source "$here/scripts/wine-env.sh"
installer=$(realpath "$1")
program=$(realpath "$2/app/NorvaneDriveUtility.exe")
tool=$(realpath "$2/tool/norvane-drive.exe")
probe=$(realpath "$3")
prefix=$4
version=$5

rm -rf "$prefix"
"$here/scripts/wine-prefix.sh" "$prefix" >/dev/null
# No menu entries or file associations for the desktop of whoever runs this.
export WINEPREFIX=$(realpath "$prefix") WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
source "$here/scripts/display.sh"
ensure_display
trap 'wineserver -k 2>/dev/null || true; kill ${XVFB_PID:-} 2>/dev/null || true' EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

folder="$WINEPREFIX/drive_c/Program Files/Norvane/BD Drive Utility"
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Norvane BD Drive Utility.lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\NorvaneDriveUtility'
expected_files="License.txt
NorvaneDriveUtility.exe
NorvaneDriveUtility_English.chm
NorvaneDriveUtility_Japanese.chm
QDM-LT58_English.chm
QDM-LT58_Japanese.chm
ReadMe_English.txt
ReadMe_Japanese.txt
Uninstall.exe
norvane-drive.exe"
# The registry value of NAME under the entry, in the 64-bit view.
value() { wine reg query "$key" /v "$1" /reg:64 2>/dev/null | tr -d '\r' | sed -n "s/^ *$1 *REG_[A-Z_]* *//p"; }
environment='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
system_path() { wine reg query "$environment" /v Path 2>/dev/null | tr -d '\r' | sed -n 's/^ *Path *REG_[A-Z_]* *//p'; }
set_system_path() { wine reg add "$environment" /v Path /t REG_EXPAND_SZ /d "$1" /f >/dev/null; }
original_path=$(system_path)

# --- install ---
wine "$installer" /S
timeout 120 wineserver -w || fail "the installer did not end"
[ "$(ls "$folder" 2>/dev/null | LC_ALL=C sort)" = "$expected_files" ] || fail "installed files: $(ls "$folder" 2>&1 | tr '\n' ' ')"
cmp -s "$program" "$folder/NorvaneDriveUtility.exe" || fail "the installed program is not the x64 one"
cmp -s "$tool" "$folder/norvane-drive.exe" || fail "the installed norvane-drive is not the x64 one"
[ "$(system_path)" = "$original_path" ] || fail "PATH changed without /AddToPath: $(system_path)"
[ -f "$shortcut" ] || fail "no Start menu shortcut"
[ -e "$WINEPREFIX/drive_c/Program Files (x86)/Norvane" ] && fail "installed into the 32-bit Program Files"

[ "$(value DisplayName)" = "Norvane BD Drive Utility" ] || fail "DisplayName: $(value DisplayName)"
[ "$(value DisplayVersion)" = "$version" ] || fail "DisplayVersion: $(value DisplayVersion)"
[ "$(value Publisher)" = "Norvane" ] || fail "Publisher: $(value Publisher)"
[ "$(value UninstallString)" = '"C:\Program Files\Norvane\BD Drive Utility\Uninstall.exe"' ] ||
  fail "UninstallString: $(value UninstallString)"
[ "$(value QuietUninstallString)" = '"C:\Program Files\Norvane\BD Drive Utility\Uninstall.exe" /S' ] ||
  fail "QuietUninstallString: $(value QuietUninstallString)"
# The size in KiB: what the folder holds, give or take the rounding per file.
size=$(($(value EstimatedSize)))
actual=$(($(du -sb --apparent-size "$folder" | cut -f1) / 1024))
[ "$size" -ge $((actual - 10)) ] && [ "$size" -le $((actual + 10)) ] || fail "EstimatedSize $size KiB, folder $actual KiB"
wine reg query "$key" /reg:32 >/dev/null 2>&1 && fail "the entry is in the 32-bit registry view"

# --- the installed program starts and shows its window; no drive under Wine ---
LANG=en_US.UTF-8 wine "C:\\Program Files\\Norvane\\BD Drive Utility\\NorvaneDriveUtility.exe" &
texts=$(wine "$probe" "Norvane BD Drive Utility" 60 | tr -d '\r') || fail "the installed program showed no window, or did not close"
grep -qx "The drive is not connected." <<<"$texts" || fail "the window shows: $texts"
timeout 60 wineserver -w || { fail "the installed program did not end"; wineserver -k; }

# --- uninstall ---
wine "C:\\Program Files\\Norvane\\BD Drive Utility\\Uninstall.exe" /S
timeout 120 wineserver -w || fail "the uninstaller did not end"  # it runs on from a copy of itself
[ -e "$folder" ] && fail "left behind: $(ls -A "$folder" | tr '\n' ' ')"
[ -e "$(dirname "$folder")" ] && fail "left the Norvane folder"
[ -e "$shortcut" ] && fail "left the shortcut"
wine reg query "$key" /reg:64 >/dev/null 2>&1 && fail "left the uninstall entry"
[ -d "$WINEPREFIX/drive_c/Program Files" ] || fail "removed Program Files itself"

# --- the PATH component ---
installed='C:\Program Files\Norvane\BD Drive Utility'
install_and_uninstall() {  # PATH before; PATH expected after the install
  set_system_path "$1"
  wine "$installer" /S /AddToPath
  timeout 120 wineserver -w || fail "the installer did not end"
  [ "$(system_path)" = "$2" ] || fail "PATH after the install: $(system_path)"
  wine "$installed\Uninstall.exe" /S
  timeout 120 wineserver -w || fail "the uninstaller did not end"
  [ "$(system_path)" = "$1" ] || fail "PATH after the uninstall: $(system_path)"
}
install_and_uninstall "$original_path" "$original_path;$installed"
long_path="$original_path$(printf ';C:\\Tools\\%04d' $(seq 1 100))"  # past the installer's 1024 characters
install_and_uninstall "$long_path" "$long_path"
set_system_path "$original_path"

[ "$failures" -eq 0 ] && echo "installer: install, start and uninstall as expected"
exit $((failures > 0))
