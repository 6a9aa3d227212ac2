#!/usr/bin/env bash
# scripts/soak.sh N [SEED]: N downloads back to back in one process as Batch download makes
# them, then N gang rounds of two ports, against simulated chips on pseudo-terminals with faults
# drawn from SEED. Prints the outcomes by fault, descriptors, threads and memory before and
# after; exits non-zero when an outcome does not match its fault or resources did not come back.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:?usage: scripts/soak.sh N [SEED]}
seed=${2:-1}
bash scripts/setup.sh >/dev/null
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >build.configure.log 2>&1 || { cat build.configure.log; exit 1; }
cmake --build build -j "$(nproc 2>/dev/null || echo 2)" --target soak >/dev/null
exec build/tests/soak "$runs" "$seed"
