#!/usr/bin/env bash
# Builds the Debian package build-package/wirelark_<version>_<arch>.deb from a Release build in
# build-package/, or from the build folder given as the argument (as the test script does).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build="${1:-build-package}"
if [ $# -eq 0 ]; then
    cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DWIRELARK_BUILD_TESTS=OFF -DWIRELARK_BUILD_BENCH=OFF
    cmake --build build-package -j "$(nproc)"
fi
mkdir -p build-package
rm -f build-package/wirelark_*.deb
cpack --config "$build/CPackConfig.cmake" -B "$PWD/build-package" >/dev/null
rm -rf build-package/_CPack_Packages
ls build-package/wirelark_*.deb
