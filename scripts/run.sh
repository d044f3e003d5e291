#!/usr/bin/env bash
# Sets everything up, builds Wirelark (Release) and starts it; arguments go to the program.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build-release" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DWIRELARK_BUILD_TESTS=OFF -DWIRELARK_BUILD_BENCH=OFF
cmake --build "$root/build-release" --target wirelark
exec "$root/build-release/src/wirelark" "$@"
