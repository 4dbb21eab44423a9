#!/usr/bin/env bash
# Builds the Windows programs and packs them, with a short read-me, into
# build/Convert-windows-x64.zip. Installs what it needs first (not Wine).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh zip
# A build folder of its own, without the tests, which Wine would run.
cmake --preset windows -B build/windows-zip -DCONVERT_TESTS=OFF >/dev/null
cmake --build build/windows-zip --target Convert convert-batch -j "$(nproc)"

package=build/package/Convert
rm -rf build/package build/Convert-windows-x64.zip
mkdir -p "$package"
cp build/windows-zip/Convert/window_win32/Convert.exe build/windows-zip/Convert/batch/convert-batch.exe \
  "$package/"
sed 's/$/\r/' docs/windows-readme.txt >"$package/README.txt"  # Windows line ends
(cd build/package && cmake -E tar cf ../Convert-windows-x64.zip --format=zip Convert)
echo "Written: build/Convert-windows-x64.zip"
cmake -E tar tf build/Convert-windows-x64.zip
