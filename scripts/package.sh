#!/usr/bin/env bash
# Builds the release into dist/ from this tree: the x86 and x64 programs in
# fresh build folders, the help files, a portable zip per architecture and
# the installer. Two runs on the same commit give the same bytes (times come
# from SOURCE_DATE_EPOCH, by default the time of the last commit).
# With NORVANE_SIGN_CERT and NORVANE_SIGN_KEY set it signs the programs, the
# uninstaller and the installer (see scripts/release/sign.sh).
# Usage: scripts/package.sh [DIST_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
dist=${1:-$here/dist}

scripts/setup.sh

for preset in win32 win64; do
  build="$here/build/package/$preset"
  rm -rf "$build"
  cmake -S "$here" -B "$build" --toolchain "$here/cmake/mingw-$([ $preset = win32 ] && echo i686 || echo x86_64).cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
  cmake --build "$build" --target NorvaneDriveUtility -j "$(nproc)" >/dev/null
done

rm -rf "$dist"
scripts/release/assemble.sh build/package/win32/app/NorvaneDriveUtility.exe \
  build/package/win64/app/NorvaneDriveUtility.exe "$dist"
(cd "$dist" && sha256sum -- * >SHA256SUMS)
for file in "$dist"/*; do
  printf '%-45s %9s bytes\n' "$(basename "$file")" "$(stat -c %s "$file")"
done
