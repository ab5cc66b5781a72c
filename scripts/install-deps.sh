#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# QZTURNS_WITH_CLANG=1 adds what the fuzzers need, QZTURNS_WITH_WINDOWS=1 the
# cross build and wine, QZTURNS_WITH_PACKAGING=1 what scripts/package.sh needs.
set -euo pipefail

packages=(cmake g++ make pkg-config libcurl4-openssl-dev libcpp-httplib-dev libgtest-dev zlib1g-dev
  libssl-dev strace chromium nginx nodejs)
if [ "${QZTURNS_WITH_CLANG:-0}" = 1 ]; then
  packages+=(clang libclang-rt-dev)
fi
# The Windows build: mingw-w64 with the posix thread model, zlib for it, and
# wine to run what it makes.
if [ "${QZTURNS_WITH_WINDOWS:-0}" = 1 ]; then
  packages+=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64)
fi
if [ "${QZTURNS_WITH_PACKAGING:-0}" = 1 ]; then
  packages+=(zip dpkg-dev lintian)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  if [ "$(id -u)" != 0 ]; then
    sudo_cmd=(sudo)
  fi
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi
