#!/usr/bin/env bash
# Builds optimised and runs the window benchmark: the same 1 MiB download through the dialog
# and headless on one paced line (about 12 s a download; OV_BENCH_ROUNDS sets the rounds,
# default 2), under Xvfb when it is there, else on Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build-bench --target window_bench ov58xx-bootsim >/dev/null
if command -v Xvfb >/dev/null; then
    display=91
    while [ -e "/tmp/.X11-unix/X$display" ]; do display=$((display + 1)); done
    Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    trap 'kill $! 2>/dev/null || true' EXIT
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
    export DISPLAY=":$display"
else
    export QT_QPA_PLATFORM=offscreen
fi
./build-bench/bench/window_bench "$(pwd)/build-bench" 1048576 "${OV_BENCH_ROUNDS:-2}"
