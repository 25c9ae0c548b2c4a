#!/usr/bin/env bash
# Assembles the release from the programs of two builds into DIST_DIR, unsigned, and
# checks the zips and the installer (check_packages.py) and the winget
# manifests against winget's schema and the installers built (check_manifests.py). The installer,
# reproducibility and signing tests start from what this leaves in DIST_DIR.
# Usage: packages_test.sh X86_BUILD X64_BUILD DIST_DIR VERSION
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
export SOURCE_DATE_EPOCH=1767225600  # 2026-01-01 00:00:00 UTC
unset NORVANE_SIGN_CERT NORVANE_SIGN_KEY
rm -rf "$3"
"$here/scripts/release/assemble.sh" "$1" "$2" "$3"
python3 "$here/tests/release/check_packages.py" "$3" "$1" "$2" "$4" "$SOURCE_DATE_EPOCH"
python3 "$here/tests/release/check_manifests.py" "$3" "$4"
for file in "$3"/*.exe "$3"/*.msi "$3"/*.zip; do
  echo "$(basename "$file"): $(stat -c %s "$file") bytes"
done
