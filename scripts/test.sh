#!/usr/bin/env bash
# Builds Convert and runs every test: the normal build, the conversion library
# alone without Qt, a build under the address and undefined-behaviour
# sanitizers, the Windows cross build with its tests under Wine, and a minute
# of fuzzing. Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

# Headless window tests; a desktop's platform theme would change their look.
export QT_QPA_PLATFORM=offscreen
unset QT_QPA_PLATFORMTHEME

jobs=$(nproc)
passed=0
for preset in default library sanitize windows; do
  echo "=== $preset build"
  cmake --preset "$preset" >/dev/null
  cmake --build "build/$preset" -j "$jobs"
  ctest --test-dir "build/$preset" --output-on-failure -j "$jobs" | tee "build/$preset/ctest.log"
  passed=$((passed + $(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\)/\1/p' "build/$preset/ctest.log")))
done

echo "=== fuzzing for 60 seconds"
scripts/fuzz.sh 60
passed=$((passed + 1))

echo "all builds: $passed passed, 0 failed"
