#!/usr/bin/env bash
# Draws the application icon (resources/norvane.ico): a silver disc with a
# blue label ring on a dark blue tile, at every size the Windows shell asks
# for (16 to 64 pixels for menus, title bars, lists and scaled desktops, and
# 256 for large views, which Windows takes PNG-compressed). The icon is
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
sizes=(16 20 24 32 40 48 64 256)
images=()
for size in "${sizes[@]}"; do
  # No date chunks: the same drawing gives the same bytes.
  convert "$work/icon.png" -resize ${size}x${size} -strip -define png:exclude-chunks=date,time "$work/icon-$size.png"
  images+=("$work/icon-$size.png")
done
# ImageMagick stores the sizes below 256 as 32-bit bitmaps and 256 as PNG.
convert "${images[@]}" "$here/resources/norvane.ico"
