#!/usr/bin/env bash
# Builds the Debian package: an optimised build installed into a staging tree by CPack, its
# library dependencies found by dpkg-shlibdeps. Prints the package's path.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
dir=${1:-build-package}
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$dir" >"$dir.build.log" 2>&1 || { tail -n 40 "$dir.build.log"; exit 1; }
(cd "$dir" && cpack -G DEB >/dev/null)
ls "$(pwd)/$dir"/ov58xx-loader_*_amd64.deb
