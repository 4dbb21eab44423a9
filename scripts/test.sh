#!/usr/bin/env bash
# Builds Convert and runs every test: the normal build, the conversion library
# alone without Qt, and a build under the address and undefined-behaviour
# sanitizers. Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

# Headless window tests; a desktop's platform theme would change their look.
export QT_QPA_PLATFORM=offscreen
unset QT_QPA_PLATFORMTHEME

jobs=$(nproc)
for preset in default library sanitize; do
  echo "=== $preset build"
  cmake --preset "$preset" >/dev/null
  cmake --build "build/$preset" -j "$jobs"
  ctest --test-dir "build/$preset" --output-on-failure -j "$jobs"
done
