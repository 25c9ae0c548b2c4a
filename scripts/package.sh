#!/usr/bin/env bash
# Builds the release into dist/ from this tree: the x86 and x64 programs (the
# window and norvane-drive.exe) in
# fresh build folders, the help files, a portable zip per architecture, the
# installer, and norvane-drive's Debian package. Two runs on the same commit give the same bytes (times come
# from SOURCE_DATE_EPOCH, by default the time of the last commit).
# With NORVANE_SIGN_CERT and NORVANE_SIGN_KEY set it signs the programs, the
# uninstaller and the installer (see scripts/release/sign.sh).
# Usage: scripts/package.sh [DIST_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
dist=${1:-$here/dist}

scripts/setup.sh

for arch in x86 x64; do
  scripts/release/build-program.sh "$arch" "build/package/$arch"
done

rm -rf "$dist"
scripts/release/assemble.sh build/package/x86 build/package/x64 "$dist"
rm -rf build/package/linux
scripts/release/build-deb.sh build/package/linux "$dist" >/dev/null
(cd "$dist" && sha256sum -- * >SHA256SUMS)
for file in "$dist"/*; do
  printf '%-45s %9s bytes\n' "$(basename "$file")" "$(stat -c %s "$file")"
done
