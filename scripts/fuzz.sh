#!/usr/bin/env bash
# Runs every libFuzzer target for the given number of seconds each (default
# 300): the sense classifier, the decoders of drive data, the emulated
# firmware. Seeds come from tests/fuzz/corpus/; what the fuzzers learn stays
# in build/fuzz/corpus/, a crashing input in build/fuzz/artifacts/.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
seconds=${1:-300}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" --target fuzz_sense fuzz_drive_data fuzz_firmware >/dev/null

mkdir -p build/fuzz/artifacts
for target in fuzz_sense fuzz_drive_data fuzz_firmware; do
  corpus="build/fuzz/corpus/$target"
  mkdir -p "$corpus"
  printf '%-16s ' "$target"
  log="build/fuzz/$target.log"
  if ! "build/fuzz/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix=build/fuzz/artifacts/ "$corpus" "tests/fuzz/corpus/$target" >"$log" 2>&1; then
    echo "FAILED (see $log)"
    tail -40 "$log" >&2
    exit 1
  fi
  awk '/stat::number_of_executed_units/ { runs = $2 } END { printf "%s runs, no failure\n", runs }' "$log"
done
