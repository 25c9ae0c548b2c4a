#!/usr/bin/env bash
# Draws the application icon (resources/norvane.ico): a silver disc with a
# blue label ring on a dark blue tile, at 16, 32 and 48 pixels. The icon is
# committed; run this only to change it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
convert -size 256x256 xc:none \
  -fill '#1b3a6b' -draw 'roundrectangle 8,8 247,247 40,40' \
  -fill '#d8dde3' -stroke '#8a939d' -strokewidth 6 -draw 'circle 128,128 128,28' \
  -stroke none -fill '#4f8fd8' -draw 'circle 128,128 128,78' \
  -fill '#d8dde3' -draw 'circle 128,128 128,108' \
  -fill '#1b3a6b' -draw 'circle 128,128 128,118' \
  "$work/icon.png"
for size in 16 32 48; do
  convert "$work/icon.png" -resize ${size}x${size} "$work/icon-$size.png"
done
convert "$work/icon-16.png" "$work/icon-32.png" "$work/icon-48.png" "$here/resources/norvane.ico"
