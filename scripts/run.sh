#!/usr/bin/env bash
# Builds Convert and starts it in a folder of its own, beside the bundled
# sample files. Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh window
cmake --preset window >/dev/null
cmake --build build/window --target Convert convert-batch -j "$(nproc)"

# The program lists and converts the files of its own folder.
folder=build/sample-run
mkdir -p "$folder"
cp build/window/Convert/window_qt/Convert build/window/Convert/batch/convert-batch "$folder/"
cp samples/*.csv samples/*.xlsx "$folder/"
touch -d 2020-03-02 "$folder/SPE2019.csv"
touch -d 2021-02-15 "$folder/SPE2020.csv"
touch -d 2021-02-16 "$folder/NOTES.csv"
touch -d 2021-05-03 "$folder/SPE2021.xlsx"
echo "Starting $folder/Convert"
exec "$folder/Convert"
