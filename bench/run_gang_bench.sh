#!/usr/bin/env bash
# Builds optimised and runs the gang benchmark: N chips at once for N = 1, 4, 8 and 16, each
# on its own simulated line paced at 921600 baud, 4 MiB each (about a minute per N).
# OV_BENCH_BYTES sets another image size.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build-bench --target gang_bench ov58xx-gang ov58xx-bootsim >/dev/null
./build-bench/bench/gang_bench "$(pwd)/build-bench" "${OV_BENCH_BYTES:-4194304}" 1 4 8 16
