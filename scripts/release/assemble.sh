#!/usr/bin/env bash
# Assembles the release from the programs of the two builds into OUT_DIR (the
# window, app/NorvaneDriveUtility.exe, and the command-line tool,
# tool/norvane-drive.exe, of each): the help files, a portable zip per
# architecture, the NSIS installer (both architectures), the x64 Windows
# Installer package and the winget manifests; signed when a
# certificate is given (scripts/release/sign.sh). The same inputs give the
# same bytes: every file carries the time SOURCE_DATE_EPOCH (default: the
# time of the last commit) and goes into its archive in a fixed order.
# Usage: scripts/release/assemble.sh X86_BUILD X64_BUILD OUT_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
declare -A builds=([x86]=$(realpath "$1") [x64]=$(realpath "$2"))
out=$(mkdir -p "$3" && cd "$3" && pwd)
version=$(sed -n 's/^project(NorvaneDriveUtility VERSION \([0-9.]*\).*/\1/p' "$here/CMakeLists.txt")
: "${SOURCE_DATE_EPOCH:=$(git -C "$here" log -1 --format=%ct)}"
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

signing=false
if [ -n "${NORVANE_SIGN_CERT:-}${NORVANE_SIGN_KEY:-}" ]; then
  signing=true
fi

programs=(NorvaneDriveUtility.exe norvane-drive.exe)
mkdir -p "$work/files"
for arch in x86 x64; do
  mkdir -p "$work/$arch"
  cp "${builds[$arch]}/app/NorvaneDriveUtility.exe" "${builds[$arch]}/tool/norvane-drive.exe" "$work/$arch/"
  if $signing; then
    "$here/scripts/release/sign.sh" "${programs[@]/#/$work/$arch/}"
  fi
done

"$here/scripts/release/build-help.sh" "$work/files"
# The texts as Windows' Notepad reads them best: UTF-8 with a byte order mark, CRLF.
for text in ReadMe_English.txt ReadMe_Japanese.txt License.txt; do
  { printf '\xef\xbb\xbf'; sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "$here/installer/$text"; } >"$work/files/$text"
done

files=("${programs[@]}"
       NorvaneDriveUtility_English.chm NorvaneDriveUtility_Japanese.chm
       QDM-LT58_English.chm QDM-LT58_Japanese.chm
       ReadMe_English.txt ReadMe_Japanese.txt License.txt)
stamp() {
  chmod -R u=rwX,go=rX "$@"
  find "$@" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}
for arch in x86 x64; do
  stage="$work/zip-$arch"
  mkdir -p "$stage"
  cp "$work/$arch/"* "$work/files/"* "$stage/"
  stamp "$stage"
  zip="$out/NorvaneDriveUtility-$version-$arch.zip"
  rm -f "$zip"
  # -X: no owner or extra time fields; -D: no folder entries; names in a fixed order.
  (cd "$stage" && zip -X -D -q -9 "$zip" "${files[@]}")
done

stamp "$work/x86" "$work/x64" "$work/files"
sign_define=()
if $signing; then
  sign_define=(-DSIGN="$here/scripts/release/sign.sh")
fi
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DX86_DIR="$work/x86" -DX64_DIR="$work/x64" \
  -DFILES_DIR="$work/files" -DICON="$here/resources/norvane.ico" \
  -DOUTFILE="$out/NorvaneDriveUtility-$version-setup.exe" "${sign_define[@]}" \
  "$here/installer/NorvaneDriveUtility.nsi" >/dev/null

msi="$out/NorvaneDriveUtility-$version-x64.msi"
"$here/scripts/release/build-msi.sh" "$work/x64" "$work/files" "$version" "$msi"
if $signing; then
  "$here/scripts/release/sign.sh" "$msi"
fi
"$here/scripts/release/winget-manifests.sh" "$out" "$version" "$msi" "$out/NorvaneDriveUtility-$version-setup.exe"
