#!/usr/bin/env bash
# Compiles the help files into OUT_DIR and reads them back (check_help.py).
# Usage: help_files_test.sh OUT_DIR VERSION_HEADER
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "$1"
"$here/scripts/release/build-help.sh" "$1"
python3 "$here/tests/release/check_help.py" "$1" "$here" "$2"
