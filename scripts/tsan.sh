#!/usr/bin/env bash
# Builds the program and the tests with ThreadSanitizer and runs those in
# which several threads meet: fetching ahead, the site's health, sessions,
# busy and broken sites, the search index made in two halves at once.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build-tsan -DQZTURNS_TSAN=ON -DQZTURNS_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  >/dev/null
cmake --build build-tsan -j"$(nproc)"
cd build-tsan
tests="PrefetcherTest|RetryPolicyTest|SiteHealthTest|ParallelFetchTest|LostSessionTest"
tests+="|HiddenAndLostTest|BusySiteTest|SiteDownForGoodTest|SiteHangingForGoodTest|NginxTest|HttpsTest"
tests+="|SearchIndexTest"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --output-on-failure -j"$(nproc)" --timeout 300 -R "^($tests)\."
