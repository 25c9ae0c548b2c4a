#!/usr/bin/env bash
# Brings the x86 preset's shipped programs up to date for the release
# checks, configuring the preset first where it is not yet.
# Usage: x86_program.sh PRESET
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
cd "$here"
cmake --preset "$1" >/dev/null
cmake --build --preset "$1" --target NorvaneDriveUtility norvane-drive -j "$(nproc)"
