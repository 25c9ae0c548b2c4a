#!/usr/bin/env bash
# Two builds of the same commit give the same bytes. Builds each program
# again in a fresh folder at another path and compares it with the program
# built before; assembles the release again from copies of the programs with
# other file times, another time zone and another umask, and compares every
# package with the one in DIST_DIR (made by packages_test.sh).
# Usage: reproducible_test.sh X86_BUILD X64_BUILD DIST_DIR WORK_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
x86=$(realpath "$1")
x64=$(realpath "$2")
dist=$(realpath "$3")
work=$4
rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")
failed=0

programs=(app/NorvaneDriveUtility.exe tool/norvane-drive.exe)
for arch in x86 x64; do
  build=$([ $arch = x86 ] && echo "$x86" || echo "$x64")
  "$here/scripts/release/build-program.sh" "$arch" "$work/build-$arch"
  for program in "${programs[@]}"; do
    if cmp "$build/$program" "$work/build-$arch/$program"; then
      echo "$arch $program: the same bytes from $work/build-$arch"
    else
      failed=1
    fi
    mkdir -p "$work/inputs/$arch/$(dirname "$program")"
    cp "$build/$program" "$work/inputs/$arch/$program"
  done
  mkdir -p "$work/inputs/$arch/generated"
  cp "$build/generated/version.h" "$work/inputs/$arch/generated/"
done

find "$work/inputs" -name '*.exe' -exec touch -d '2001-02-03 04:05:06' {} +
(umask 077 && TZ=Asia/Tokyo SOURCE_DATE_EPOCH=1767225600 \
  "$here/scripts/release/assemble.sh" "$work/inputs/x86" "$work/inputs/x64" "$work/dist")
for package in "$dist"/*; do
  if cmp "$package" "$work/dist/$(basename "$package")"; then
    echo "$(basename "$package"): the same bytes"
  else
    failed=1
  fi
done
[ "$(ls "$dist")" = "$(ls "$work/dist")" ] || { echo "different packages: $(ls "$work/dist")" >&2; failed=1; }
exit $failed
