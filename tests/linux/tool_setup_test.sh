#!/usr/bin/env bash
# The set-up for the tool alone brings nothing of the Windows side, and the
# project configures for the tool without it.
# Usage: tests/linux/tool_setup_test.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$1/tool-setup-test

listed=$("$here/scripts/setup.sh" tool --list)
if grep -E -n 'wine|mingw|nsis|qemu|multilib|:i386|xvfb|fp-utils|osslsigncode' <<<"$listed"; then
  echo "scripts/setup.sh tool would install the Windows side's packages above"
  exit 1
fi
for needed in cmake g++ libsgutils2-dev libcli11-dev nlohmann-json3-dev scdoc; do
  grep -qx "$needed" <<<"$listed" || { echo "scripts/setup.sh tool lacks $needed"; exit 1; }
done

rm -rf "$scratch"
cmake -S "$here" -B "$scratch" -DCMAKE_BUILD_TYPE=Release -DNORVANE_TOOL_ONLY=ON >/dev/null
grep -q 'add_custom_target\|norvane-drive' "$scratch/tool/Makefile" || { echo "norvane-drive is not configured"; exit 1; }
if [ -e "$scratch/tests/kernel_path" ]; then
  echo "the tool-only configuration still takes in the kernel path, which needs the full set-up"
  exit 1
fi
rm -rf "$scratch"
echo "scripts/setup.sh tool: $(tr '\n' ' ' <<<"$listed")"
