#!/usr/bin/env bash
# The dialog's pictures for the README: the real window under Xvfb, in English and in
# Chinese, idle and after a download into ov58xx-bootsim, saved in docs/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target dialog_screenshots ov58xx-bootsim >/dev/null

out=docs/screenshots
mkdir -p "$out"
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
head -c 200000 /dev/urandom >"$work/firmware.bin"

# A display of its own: the first free number from 90.
display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done

shoot() {  # language tag, locale
    local tag=$1 locale=$2 home="$work/home-$1"
    mkdir -p "$home"
    build/tools/bootsim/ov58xx-bootsim --wait 30 --baud 921600 >"$work/sim-$tag" &
    for _ in $(seq 50); do [ -s "$work/sim-$tag" ] && break; sleep 0.1; done
    local pty
    pty=$(head -n 1 "$work/sim-$tag")
    DISPLAY=":$display" LC_ALL="$locale" OV58XX_LOADER_HOME="$home" \
        build/tests/dialog_screenshots "$out/dialog-$tag-idle.png" "$out/dialog-$tag-download.png" \
        "$work/firmware.bin" "$pty"
    wait %?ov58xx-bootsim 2>/dev/null || true
    echo "screenshots: $out/dialog-$tag-idle.png $out/dialog-$tag-download.png ($(tail -n 1 "$work/sim-$tag"))"
}

shoot en C.UTF-8
shoot zh zh_CN.UTF-8
