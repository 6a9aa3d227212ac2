#!/usr/bin/env bash
# Builds the benchmarks optimised and runs the image benchmark (about 15 s).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build-bench --target image_bench >/dev/null
./build-bench/bench/image_bench
