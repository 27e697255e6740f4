#!/usr/bin/env bash
# Runs every fuzz target for a while (default 60 s each): scripts/fuzz.sh [SECONDS] [TARGET...]
# New inputs collect in build-fuzz/work/TARGET; a crash leaves its input in
# build-fuzz/artifacts/. Keep it as a regression case by copying it to
# tests/fuzz/regressions/TARGET-NAME, where the test command replays it.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
scripts/install-deps.sh
cmake -G Ninja -S tests/fuzz -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build-fuzz
mkdir -p build-fuzz/artifacts
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=($(ls tests/fuzz/corpus))
fi
for t in "${targets[@]}"; do
  echo "== $t: $seconds s"
  mkdir -p "build-fuzz/work/$t"
  build-fuzz/$t -max_total_time="$seconds" -max_len=4096 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="build-fuzz/artifacts/$t-" "build-fuzz/work/$t" "tests/fuzz/corpus/$t" 2>&1 |
    grep -E "^(stat::number_of_executed_units|stat::new_units_added|==[0-9]+==|SUMMARY|artifact_prefix|Test unit written)" || true
done
