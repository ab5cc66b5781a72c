#!/usr/bin/env bash
# Builds qzturns for speed and runs the benchmark against the demo site with a
# modelled network. Prints figures; checks nothing. Settings, by environment:
#   CHARACTERS (100), TURNS per character (19, plus one oli turn), PAGE_KIB (24),
#   DELAY_MS per request (10), CONNECT_DELAY_MS per new connection (30),
#   CURL_SAMPLE URLs fetched one curl process each (200). TMPDIR chooses the
#   file system the archives are written to (TMPDIR=/dev/shm for a tmpfs).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
command -v wget >/dev/null || apt-get install -y -qq wget >/dev/null
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench -j"$(nproc)" --target qzturns demo_site structures_bench >/dev/null
build-bench/structures_bench
echo
exec python3 bench/bench.py build-bench
