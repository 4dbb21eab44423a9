#!/usr/bin/env bash
# Builds Convert. Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build build/default -j "$(nproc)"
echo "Built the conversion library (build/default/Convert/conversion). The window comes next."
