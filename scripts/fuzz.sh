#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) and runs each
# one for a while: FUZZ_SECONDS each, 20 unless set.
set -euo pipefail
cd "$(dirname "$0")/.."

QZTURNS_WITH_CLANG=1 scripts/install-deps.sh
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DQZTURNS_FUZZ=ON -DQZTURNS_BUILD_TESTS=OFF \
  -DQZTURNS_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j"$(nproc)"

seconds=${FUZZ_SECONDS:-20}
for target in page_text link_tags turn_key listing search_words; do
  work=$(mktemp -d)
  cp fuzz/corpus/"$target"/* "$work"/
  echo "fuzz_$target: ${seconds}s"
  build-fuzz/fuzz_"$target" -max_total_time="$seconds" -max_len=4096 -print_final_stats=0 \
    "$work" 2>&1 | tail -n 2
  rm -rf "$work"
done
echo "fuzzing: no findings"
