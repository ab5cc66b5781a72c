#!/usr/bin/env bash
# Builds the packages for users into dist/:
#   qzturns-<version>-windows-x86_64.zip  qzturns.exe, a README, run-qzturns.bat and
#                                         the licence, for Windows
#   qzturns_<version>_amd64.deb           the program and its man page, for Debian
# The version is the one of project() in CMakeLists.txt.
set -euo pipefail
cd "$(dirname "$0")/.."

QZTURNS_WITH_WINDOWS=1 QZTURNS_WITH_PACKAGING=1 scripts/install-deps.sh
mkdir -p dist

# Debian's hardening flags (stack protector, fortified functions, read-only
# relocations, immediate binding), as a Debian build would use them.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DQZTURNS_BUILD_TESTS=OFF >/dev/null
cmake --build build-package -j"$(nproc)"
version=$(cat build-package/version.txt)
(cd build-package && cpack -G DEB >/dev/null)
mv build-package/qzturns_"$version"_amd64.deb dist/
# The package must pass Debian's checks: any error fails the build.
lintian --fail-on error --tag-display-limit 0 dist/qzturns_"$version"_amd64.deb

cmake -S . -B build-package-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DQZTURNS_BUILD_TESTS=OFF >/dev/null
cmake --build build-package-win -j"$(nproc)" --target qzturns
staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT
x86_64-w64-mingw32-strip -o "$staging/qzturns.exe" build-package-win/qzturns.exe
# Notepad and cmd.exe want CR LF.
sed 's/$/\r/' doc/README-windows.txt >"$staging/README.txt"
sed 's/$/\r/' doc/run-qzturns.bat >"$staging/run-qzturns.bat"
sed 's/$/\r/' LICENSE >"$staging/LICENSE.txt"
zip_name="dist/qzturns-$version-windows-x86_64.zip"
rm -f "$zip_name"
zip -j -q "$zip_name" "$staging/qzturns.exe" "$staging/README.txt" "$staging/run-qzturns.bat" \
  "$staging/LICENSE.txt"

ls -l dist/
