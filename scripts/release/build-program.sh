#!/usr/bin/env bash
# Builds the shipped programs for one architecture in a fresh build folder,
# as the release does: the window (app/) and the command-line tool (tool/). Usage: scripts/release/build-program.sh x86|x64 BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
case "$1" in
  x86) toolchain=mingw-i686 ;;
  x64) toolchain=mingw-x86_64 ;;
  *) echo "no such architecture: $1" >&2; exit 64 ;;
esac
rm -rf "$2"
cmake -S "$here" -B "$2" --toolchain "$here/cmake/$toolchain.cmake" -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
cmake --build "$2" --target NorvaneDriveUtility norvane-drive -j "$(nproc)" >/dev/null
