#!/usr/bin/env bash
# The whole test suite: a normal build, the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the tests that start threads under ThreadSanitizer.
# Exits non-zero on any failure; its last lines are CTest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

jobs=$(nproc 2>/dev/null || echo 2)

configure() {  # build-dir, extra cmake args...
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >"$dir.configure.log" 2>&1 ||
        { cat "$dir.configure.log"; return 1; }
}

run_suite() {  # build-dir, extra cmake args...
    local dir=$1; shift
    configure "$dir" "$@"
    cmake --build "$dir" -j "$jobs"
    ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300
}

mkdir -p build build-sanitize build-tsan
echo "== normal build =="
run_suite build
echo "== AddressSanitizer + UndefinedBehaviorSanitizer build =="
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
run_suite build-sanitize -DOV_SANITIZE=ON
unset ASAN_OPTIONS UBSAN_OPTIONS
echo "== ThreadSanitizer build: the tests that start threads =="
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
configure build-tsan -DOV_TSAN=ON
cmake --build build-tsan -j "$jobs" --target serial_tests control_tests e2e_tests gang_tests settings_saver_tests
ctest --test-dir build-tsan --output-on-failure -j "$jobs" --timeout 300 -L threads
