#!/usr/bin/env bash
# Builds qzturns, starts the bundled demo site on 127.0.0.1 and archives it
# into ./demo-archive twice: the second run finds everything saved already.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)" --target qzturns demo_site >/dev/null

address_file=$(mktemp)
build/demo_site --characters 12 --turns 4 >"$address_file" &
site=$!
trap 'kill "$site" 2>/dev/null; rm -f "$address_file"' EXIT
for _ in $(seq 50); do
  [ -s "$address_file" ] && break
  sleep 0.1
done
export QZTURNS_BASE_URL=$(head -n 1 "$address_file")
echo "Demo site: $QZTURNS_BASE_URL"

rm -rf demo-archive
mkdir demo-archive
cd demo-archive
echo
echo "=== First run: every public turn is fetched ==="
../build/qzturns
echo
echo "=== Second run: nothing is fetched twice ==="
../build/qzturns
echo
echo "=== What was saved in demo-archive/ ==="
echo "$(find . -name '*.htm' | wc -l) turn files in $(find . -mindepth 1 -type d | wc -l) character folders, for example:"
find qz1201 -type f | sort
echo
echo "=== demo-archive/qz1201/1201-001.htm (Windows-1250, shown as UTF-8) ==="
iconv -f WINDOWS-1250 -t UTF-8 qz1201/1201-001.htm | head -n 8
echo
echo "=== The reader page ==="
echo "Open $PWD/index.htm in a browser to read the archive:"
echo "the characters and their turns on the left, the chosen turn on the right."
