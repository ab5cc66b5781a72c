#!/usr/bin/env bash
# Cross-builds qzturns.exe and its unit tests with mingw-w64 and runs them
# under wine: the unit tests through ctest, then the end-to-end suite of the
# Linux build (scripts/test.sh builds it) against the .exe.
set -euo pipefail
cd "$(dirname "$0")/.."

QZTURNS_WITH_WINDOWS=1 scripts/install-deps.sh
source scripts/windows-env.sh
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DQZTURNS_WERROR=ON \
  >/dev/null
cmake --build build-win -j"$(nproc)"
if [ ! -x build/qzturns_tests ]; then
  cmake -S . -B build -DQZTURNS_WERROR=ON >/dev/null
  cmake --build build -j"$(nproc)"
fi

echo "=== Windows unit tests, under wine ==="
(cd build-win && ctest --output-on-failure -j"$(nproc)" --timeout 300)

echo "=== End-to-end tests of qzturns.exe, under wine ==="
export QZTURNS_TEST_PROGRAM="$PWD/build-win/qzturns.exe"
export QZTURNS_TEST_LAUNCHER=wine
# Every end-to-end suite; those that only make sense for the Linux build
# skip themselves under wine.
suites="RunDriverTest|SingleCharacterTest|AllCharactersTest|FaultsTest|WorkingFolderTest"
suites+="|HostileSiteTest|ParallelFetchTest|LostSessionTest|ReaderTest|DurableFilesTest"
suites+="|ReaderBrowserTest|HttpsTest|NginxTest"
(cd build && ctest --output-on-failure -j"$(nproc)" --timeout 300 -R "^($suites)\.")
