#!/usr/bin/env bash
# Installs the Debian packages that building and testing Convert need, only
# those still missing, so it is quick and safe to run again.
set -euo pipefail

packages=(
  cmake ninja-build g++          # build
  qt6-base-dev fonts-liberation  # the window, and a metric-compatible stand-in for Arial,
  fonts-dejavu-core              # and a proportional font for whatever names none
  libgtest-dev libbenchmark-dev  # tests and benchmark
  clang libclang-rt-14-dev       # fuzz target
  g++-mingw-w64-x86-64-posix     # the Windows cross build,
  googletest wine wine64         # its tests, run under Wine
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
