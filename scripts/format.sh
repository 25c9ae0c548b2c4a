#!/usr/bin/env bash
# The repository's C and C++ sources in the layout of .clang-format.
# Without arguments, rewrites them; with --check, lists the files that
# differ from it and fails if any does.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
command -v clang-format >/dev/null || { echo "clang-format is missing (scripts/setup.sh installs it)" >&2; exit 1; }
mapfile -t sources < <(git ls-files '*.c' '*.cpp' '*.h')
if [ "${1:-}" != --check ]; then
  clang-format -i "${sources[@]}"
  exit 0
fi
# One run over every file (one per file took half a minute); each place
# that differs is reported as "FILE:LINE:COLUMN: error: ...".
mapfile -t differ < <(clang-format --dry-run --Werror "${sources[@]}" 2>&1 |
                      sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: .*/\1/p' | sort -u)
if [ ${#differ[@]} -gt 0 ]; then
  printf 'not in the layout of .clang-format (scripts/format.sh rewrites them):\n' >&2
  printf '  %s\n' "${differ[@]}" >&2
  exit 1
fi
echo "${#sources[@]} sources in the layout of .clang-format"
