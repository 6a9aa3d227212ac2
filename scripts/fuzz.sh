#!/usr/bin/env bash
# Builds the coverage-guided fuzzers (clang's libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a while:
#   bash scripts/fuzz.sh [seconds per fuzzer, default 60]
# OV_FUZZERS="received_bytes" picks some of them.
# Findings are written as crash-*, timeout-* or leak-* files in build-fuzz/; the corpora grow
# in build-fuzz/corpus/ from one run to the next.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
bash scripts/setup.sh fuzz
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
  -DOV_FUZZ=ON >/dev/null
fuzzers=(${OV_FUZZERS:-image_files settings chip_replies signed_inspect received_bytes})
cmake --build build-fuzz --target fuzz_seeds "${fuzzers[@]/%/_fuzz}" >build-fuzz/build.log ||
  { tail -n 30 build-fuzz/build.log; exit 1; }
corpus=build-fuzz/corpus
./build-fuzz/tests/fuzz/fuzz_seeds "$corpus"
status=0
for f in "${fuzzers[@]}"; do
  echo "fuzz: $f for ${seconds} s"
  (cd build-fuzz && "./tests/fuzz/${f}_fuzz" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
    -max_len=8192 -print_final_stats=1 "corpus/$f" 2>"$f.log") || { status=1; tail -n 40 "build-fuzz/$f.log"; }
  grep -E "^stat::number_of_executed_units" "build-fuzz/$f.log" || true
done
exit $status
