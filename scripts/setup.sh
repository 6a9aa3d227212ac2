#!/usr/bin/env bash
# Installs everything the project needs on a fresh Debian 12 machine; "setup.sh fuzz" adds
# clang and its fuzzing runtime for scripts/fuzz.sh. Idempotent and quiet when everything is
# already present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev
  libssl-dev openssl
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-qpa-plugins libqt6svg6
  binutils
  fonts-wqy-microhei
  xvfb xauth imagemagick
  scdoc desktop-file-utils dpkg-dev file
  nlohmann-json3-dev
  python3 clang-format
)
if [ "${1:-}" = fuzz ]; then packages+=(clang libclang-rt-dev); fi

missing=()
for p in "${packages[@]}"; do
  if [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" != "install ok installed" ]; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq >/dev/null
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
