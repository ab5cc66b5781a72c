#!/usr/bin/env bash
# Builds qzturns with warnings as errors and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -DQZTURNS_WERROR=ON >/dev/null
cmake --build build -j"$(nproc)"
cd build
# Most tests wait on a site or a timer rather than the processor: twice as
# many at once as there are cores.
ctest --output-on-failure -j"$((2 * $(nproc)))" --timeout 300
