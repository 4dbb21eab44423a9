#!/usr/bin/env bash
# scripts/install-deps.sh [window|zip|tests]
# Installs the Debian packages Convert needs, only those still missing, so it
# is quick and safe to run again: for `window`, what building and starting
# the program takes; for `zip`, what building the Windows programs takes;
# for `tests` (the default), everything the tests, the Windows cross build
# and its tests under Wine, the fuzzing and the benchmark take.
set -euo pipefail

window=(
  cmake ninja-build g++          # build
  zlib1g-dev libexpat1-dev       # workbooks: their zip container and their XML
  qt6-base-dev fonts-liberation  # the window, and a metric-compatible stand-in for Arial,
  fonts-dejavu-core              # and a proportional font for whatever names none
)
zip=(
  cmake ninja-build g++-mingw-w64-x86-64-posix  # the Windows programs, cross-built,
  libz-mingw-w64-dev                            # with zlib linked in
)
tests=(
  "${window[@]}" "${zip[@]}"
  libgtest-dev libbenchmark-dev     # tests and benchmark
  clang libclang-rt-14-dev llvm-14  # fuzz target, and the symbolizer for its reports
  googletest wine wine64            # the Windows tests, run under Wine
)

case "${1:-tests}" in
  window) packages=("${window[@]}") ;;
  zip) packages=("${zip[@]}") ;;
  tests) packages=("${tests[@]}") ;;
  *) echo "usage: $0 [window|zip|tests]" >&2; exit 2 ;;
esac

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
