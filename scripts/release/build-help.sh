#!/usr/bin/env bash
# Compiles the help files from help/ into OUT_DIR: for each language the
# general file and the QDM-LT58 file, each with table of contents and index.
# Usage: scripts/release/build-help.sh OUT_DIR
#
# The sources are UTF-8. Windows' help viewer reads a help file's table of
# contents, index and titles in the code page of its language, so the
# Japanese pages go into their file as Shift_JIS (code page 932).
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
out=$(mkdir -p "$1" && cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for language in en ja; do
  stage="$work/$language"
  mkdir -p "$stage"
  cp "$here/help/$language/"* "$here/help/help.css" "$stage/"
  if [ "$language" = ja ]; then
    for file in "$stage"/*.html "$stage"/*.hhc "$stage"/*.hhk "$stage"/*.hhp; do
      iconv -f UTF-8 -t CP932 "$file" | sed 's/charset=utf-8/charset=Shift_JIS/' >"$file.sjis"
      mv "$file.sjis" "$file"
    done
  fi
  for project in "$stage"/*.hhp; do
    # chmcmd reports a missing file or anchor as an error, yet exits with 0.
    log=$(cd "$stage" && chmcmd "$(basename "$project")" 2>&1) || { echo "$log" >&2; exit 1; }
    if grep -qi 'error' <<<"$log"; then
      echo "$log" >&2
      echo "chmcmd found errors in $(basename "$project")" >&2
      exit 1
    fi
  done
  python3 "$here/scripts/release/chm_clear_times.py" "$stage"/*.chm
  mv "$stage"/*.chm "$out/"
done
