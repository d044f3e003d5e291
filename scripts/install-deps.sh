#!/usr/bin/env bash
# Installs every Debian package that building, testing, benchmarking and fuzzing Wirelark needs.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    clang libclang-rt-dev clang-format git
    qt6-base-dev qt6-base-dev-tools libgl-dev qt6-charts-dev libqt6opengl6-dev
    libpcap-dev libcap-dev
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    iproute2 xvfb xauth poppler-utils
    dpkg-dev file libcap2-bin python3
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
