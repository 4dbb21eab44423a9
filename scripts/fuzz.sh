#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs them for the given number
# of seconds (default 60): the CSV conversion for that long, the workbook
# reader and the usual rows against the parser for half as long each, each on
# a working copy of its seed corpus, kept in build/fuzz/ so that later runs go
# on from what they found.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build build/fuzz -j "$(nproc)"
mkdir -p build/fuzz/corpus build/fuzz/workbook-corpus build/fuzz/usual-rows-corpus
cp -n fuzz/corpus/* build/fuzz/corpus/
cp -n fuzz/workbook_corpus/* build/fuzz/workbook-corpus/
cp -n fuzz/usual_rows_corpus/* fuzz/workbook_corpus/* build/fuzz/usual-rows-corpus/
# Reports name their functions through the symbolizer of the clang that built
# the target.
version=$(clang --version | sed -n 's/.*clang version \([0-9]*\).*/\1/p' | head -n 1)
export ASAN_SYMBOLIZER_PATH=/usr/lib/llvm-$version/bin/llvm-symbolizer
build/fuzz/fuzz/conversion_fuzzer -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
  -dict=fuzz/conversion.dict -print_final_stats=1 build/fuzz/corpus
build/fuzz/fuzz/workbook_fuzzer -max_total_time="$((seconds / 2))" -timeout=10 \
  -dict=fuzz/workbook.dict \
  -rss_limit_mb=4096 -print_final_stats=1 build/fuzz/workbook-corpus
build/fuzz/fuzz/usual_rows_fuzzer -max_total_time="$((seconds / 2))" -timeout=10 \
  -dict=fuzz/workbook.dict \
  -rss_limit_mb=4096 -print_final_stats=1 build/fuzz/usual-rows-corpus
