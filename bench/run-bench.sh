#!/usr/bin/env bash
# Builds qzturns for speed and runs the benchmark against the demo site with a
# modelled network. Prints figures; checks nothing. Settings, by environment:
#   CHARACTERS (100), TURNS per character (19, plus one oli turn), PAGE_KIB (24),
#   DELAY_MS per request (10), CONNECT_DELAY_MS per new connection (30),
#   CURL_SAMPLE URLs fetched one curl process each (200), CONNECTIONS for the
#   parallel runs and tools (4), LIMITER=0 to skip the token-bucket runs (about
#   5 minutes), SEARCH_BENCH=0 to skip the search index's (4 GB of turn files
#   under TMPDIR, a few minutes). TMPDIR chooses the
#   file system the archives are written to (TMPDIR=/dev/shm for a tmpfs).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
for tool in wget aria2c wget2; do
  if ! command -v "$tool" >/dev/null; then
    package=$tool
    [ "$tool" = aria2c ] && package=aria2
    apt-get install -y -qq "$package" >/dev/null
  fi
done
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench -j"$(nproc)" --target qzturns demo_site structures_bench reader_bench \
  redirect_bench >/dev/null
# The same program with its turn files left unflushed, to show what
# durability costs; for the bench only.
cmake -S . -B build-bench-noflush -DCMAKE_BUILD_TYPE=Release -DQZTURNS_BUILD_TESTS=OFF \
  -DQZTURNS_BENCH_NO_FLUSH=ON >/dev/null
cmake --build build-bench-noflush -j"$(nproc)" --target qzturns >/dev/null
build-bench/structures_bench
# The reader page of 100,000 turns, made and then opened in Chromium.
reader_archive=$(mktemp -d)
build-bench/reader_bench "$reader_archive"
python3 bench/search_browser.py "$reader_archive"
rm -rf "$reader_archive"
build-bench/redirect_bench
if [ "${SEARCH_BENCH:-1}" != 0 ]; then
  bench/search-bench.sh
fi
echo
exec python3 bench/bench.py build-bench
