#!/usr/bin/env bash
# The x64 Windows Installer package under Wine's 64-bit msiexec, in a prefix
# of its own: a silent install puts the programs, the help files and the
# texts into Program Files, the shortcut into the Start menu and the entry,
# with its publisher, version (the one the winget manifest names) and icon,
# into "Apps and features", and leaves
# PATH alone; the silent uninstall takes them all away again. ADDTOPATH=1
# appends exactly our folder to the system's PATH and the uninstall takes
# exactly it off. A package of a lower version built from the same files is
# replaced by this one, leaving one installed copy, and refused over it.
# msiexec is a 64-bit program here, so this runs where 32-bit ones cannot.
# Usage: msi_test.sh DIST_DIR PREFIX_DIR VERSION
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
source "$here/scripts/wine-env.sh"
dist=$(realpath "$1")
prefix=$2
version=$3
msi=$dist/NorvaneDriveUtility-$version-x64.msi

rm -rf "$prefix"
"$here/scripts/wine-prefix.sh" "$prefix" >/dev/null
export WINEPREFIX=$(realpath "$prefix") WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# An older package from the same files, for the upgrade and the downgrade.
unzip -q "$dist/NorvaneDriveUtility-$version-x64.zip" -d "$work/files"
"$here/scripts/release/build-msi.sh" "$work/files" "$work/files" 0.0.0.1 "$work/older.msi"

folder="$WINEPREFIX/drive_c/Program Files/Norvane/BD Drive Utility"
installed='C:\Program Files\Norvane\BD Drive Utility\'
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Norvane BD Drive Utility.lnk"
expected_files=$(zipinfo -1 "$dist/NorvaneDriveUtility-$version-x64.zip" | LC_ALL=C sort)
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
product_code() { msiinfo export "$1" Property | tr -d '\r' | sed -n 's/^ProductCode\t//p'; }
value() {  # PRODUCT_CODE NAME: the value under the product's uninstall entry
  wine reg query "$uninstall\\$1" /v "$2" /reg:64 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
# The products installed under our name, one ProductCode a line.
entries() {
  wine reg query "$uninstall" /reg:64 2>/dev/null | tr -d '\r' | sed -n 's/.*\\\({[-0-9A-F]*}\)$/\1/p' |
    while read -r code; do [ "$(value "$code" DisplayName)" = "Norvane BD Drive Utility" ] && echo "$code"; done || true
}
manifest_display_version() {
  python3 "$here/tests/release/shown_version.py" "$dist/Norvane.BDDriveUtility.installer.yaml"
}
environment='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
system_path() { wine reg query "$environment" /v Path 2>/dev/null | tr -d '\r' | sed -n 's/^ *Path *REG_[A-Z_]* *//p'; }
msiexec() {  # ARGUMENTS...: msiexec's exit status, once it and all it started have ended
  local status=0
  wine msiexec "$@" || status=$?
  timeout 120 wineserver -w || fail "msiexec $* did not end"
  return $status
}
code=$(product_code "$msi")
original_path=$(system_path)

# --- silent install and uninstall ---
msiexec /i "$msi" /qn || fail "the silent install failed: $?"
[ "$(cd "$folder" 2>/dev/null && ls | LC_ALL=C sort)" = "$expected_files" ] || fail "installed: $(ls "$folder" 2>&1 | tr '\n' ' ')"
for file in $expected_files; do
  cmp -s "$work/files/$file" "$folder/$file" || fail "$file installed is not the one packed"
done
# Wine's msiexec puts a per-machine shortcut into the user's Start menu,
# where Windows puts it into everyone's: either is ours, said aloud.
if [ ! -f "$shortcut" ]; then
  shortcut="$WINEPREFIX/drive_c/users/$(whoami)/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Norvane BD Drive Utility.lnk"
  [ -f "$shortcut" ] && echo "NOTE: Wine's msiexec put the shortcut into the user's Start menu" || fail "no Start menu shortcut"
fi
[ -e "$WINEPREFIX/drive_c/Program Files (x86)/Norvane" ] && fail "installed into the 32-bit Program Files"
[ "$(entries)" = "$code" ] || fail "uninstall entries: $(entries | tr '\n' ' '), not $code"
[ "$(value "$code" Publisher)" = Norvane ] || fail "Publisher: $(value "$code" Publisher)"
[ "$(value "$code" DisplayVersion)" = "$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductVersion\t//p')" ] ||
  fail "DisplayVersion: $(value "$code" DisplayVersion)"
# winget takes an installed copy for the package version whose manifest names what the entry shows.
[ "$(value "$code" DisplayVersion)" = "$(manifest_display_version)" ] ||
  fail "the winget manifest names \"$(manifest_display_version)\" for the x64 package, the entry shows $(value "$code" DisplayVersion)"
# Windows makes the entry's icon of ARPPRODUCTICON; Wine's msiexec writes none.
[ "$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ARPPRODUCTICON\t//p')" = norvane.ico ] || fail "no ARPPRODUCTICON"
msiinfo export "$msi" Icon | grep -q '^norvane.ico' || fail "no icon for the entry"
[ "$(system_path)" = "$original_path" ] || fail "PATH changed without ADDTOPATH=1: $(system_path)"
msiexec /x "$msi" /qn || fail "the silent uninstall failed: $?"
[ -e "$folder" ] && fail "left behind: $(ls -A "$folder" | tr '\n' ' ')"
[ -e "$shortcut" ] && fail "left the shortcut"
[ -z "$(entries)" ] || fail "left the uninstall entry $(entries)"

# --- ADDTOPATH=1 ---
msiexec /i "$msi" /qn ADDTOPATH=1 || fail "the install with ADDTOPATH=1 failed: $?"
[ "$(system_path)" = "$original_path;$installed" ] || fail "PATH after the install: $(system_path)"
msiexec /x "$msi" /qn || fail "the uninstall after ADDTOPATH=1 failed: $?"
# Wine leaves the separator it added; Windows takes it off too.
[ "$(system_path)" = "$original_path" ] || [ "$(system_path)" = "$original_path;" ] || fail "PATH after the uninstall: $(system_path)"

# --- upgrade from a lower version, then that one refused over this ---
msiexec /i "$work/older.msi" /qn || fail "the older package did not install: $?"
msiexec /i "$msi" /qn || fail "the upgrade failed: $?"
[ "$(entries)" = "$code" ] || fail "after the upgrade, installed: $(entries | tr '\n' ' ')"
msiexec /i "$work/older.msi" /qn && fail "the older package installed over this one"
[ "$(entries)" = "$code" ] || fail "after the refused downgrade, installed: $(entries | tr '\n' ' ')"
[ -f "$folder/NorvaneDriveUtility.exe" ] || fail "the refused downgrade took the program away"
msiexec /x "$msi" /qn || fail "the last uninstall failed: $?"
[ -z "$(entries)" ] || fail "left the uninstall entry $(entries)"

[ "$failures" -eq 0 ] && echo "msi: silent install, uninstall, PATH, upgrade and downgrade as expected"
exit $((failures > 0))
