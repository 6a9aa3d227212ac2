#!/usr/bin/env bash
# Builds optimised and runs the download benchmark (about four minutes: a paced 4 MiB download
# takes some 46 s at 921600 baud, and the loader and a minimal host each make two).
# OV_BENCH_ROUNDS sets how many turns the two take on the paced line.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build-bench --target download_bench ov58xx-loader ov58xx-bootsim >/dev/null
./build-bench/bench/download_bench "$(pwd)/build-bench"
