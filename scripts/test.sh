#!/usr/bin/env bash
# The whole test suite: a normal build, then the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer. Exits non-zero on any failure; its last lines are CTest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)

run_suite() {  # build-dir, extra cmake args...
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >"$dir.configure.log" 2>&1 ||
        { cat "$dir.configure.log"; return 1; }
    cmake --build "$dir" -j "$jobs"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300
}

mkdir -p build build-sanitize
echo "== normal build =="
run_suite build
echo "== AddressSanitizer + UndefinedBehaviorSanitizer build =="
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
run_suite build-sanitize -DOV_SANITIZE=ON
