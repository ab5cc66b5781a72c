#!/usr/bin/env bash
# The search index of a large archive: made from scratch, updated, and
# searched in headless Chromium from file://. Prints figures; checks nothing.
# CHARACTERS (1000) x TURNS (100) turn files of 20-60 KB are written under
# TMPDIR (about 4 GB at the defaults) and removed afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-bench -j"$(nproc)" --target search_bench >/dev/null
folder=$(mktemp -d "${TMPDIR:-/tmp}/qzturns-search-bench-XXXXXX")
trap 'rm -rf "$folder" "$folder.words"' EXIT
build-bench/search_bench "$folder"
mapfile -t queries < <(iconv -f windows-1250 -t utf-8 "$folder.words")
python3 bench/search_browser.py "$folder" "${queries[@]}"
