#!/usr/bin/env bash
# The main job: download a sample image into the bundled boot loader simulator, the way a
# production-line script would, and show the exit code and the simulator's verdict.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

bash scripts/setup.sh
cmake -S . -B build-demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build-demo --target ov58xx-loader ov58xx-bootsim >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export OV58XX_LOADER_HOME="$work/home"
head -c 65536 /dev/urandom > "$work/firmware.bin"

"$root/build-demo/tools/bootsim/ov58xx-bootsim" > "$work/sim.out" &
sim=$!
for _ in $(seq 50); do [ -s "$work/sim.out" ] && break; sleep 0.1; done
port=$(head -n 1 "$work/sim.out")
echo "simulated boot loader on $port"
echo "\$ ov58xx-loader -f firmware.bin -p $port"

set +e
"$root/build-demo/src/app/ov58xx-loader" -f "$work/firmware.bin" -p "$port"
code=$?
set -e
wait "$sim" || true
echo "exit code: $code"
tail -n 1 "$work/sim.out"
[ "$code" -eq 200 ]
