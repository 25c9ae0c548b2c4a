#!/usr/bin/env bash
# The repository's C and C++ sources in the layout of .clang-format.
# Without arguments, rewrites them; with --check, lists the files that
# differ from it and fails if any does.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
mapfile -t sources < <(git ls-files '*.c' '*.cpp' '*.h')
if [ "${1:-}" != --check ]; then
  clang-format -i "${sources[@]}"
  exit 0
fi
differ=()
for source in "${sources[@]}"; do
  clang-format --dry-run --Werror "$source" >/dev/null 2>&1 || differ+=("$source")
done
if [ ${#differ[@]} -gt 0 ]; then
  printf 'not in the layout of .clang-format (scripts/format.sh rewrites them):\n' >&2
  printf '  %s\n' "${differ[@]}" >&2
  exit 1
fi
echo "${#sources[@]} sources in the layout of .clang-format"
