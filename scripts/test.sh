#!/usr/bin/env bash
# Sets everything up, builds Wirelark and runs the whole test suite: a formatting check, unit
# and widget tests, the same again under AddressSanitizer and UndefinedBehaviorSanitizer, the
# capture and store tests under ThreadSanitizer, and every fuzzer for a bounded time.
# Fails when anything fails.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
"$root/scripts/install-deps.sh"

jobs="$(nproc)"
fuzz_seconds="${WIRELARK_FUZZ_SECONDS:-30}"
export QT_QPA_PLATFORM=offscreen

echo "== formatting"
git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

echo "== build and test (RelWithDebInfo, warnings are errors)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWIRELARK_WERROR=ON
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs" --timeout 600

echo "== the Debian package, built from that build and installed into a throw-away root"
scripts/package.sh build
scripts/check-package.sh

echo "== the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DWIRELARK_SANITIZE=address,undefined \
    -DWIRELARK_WERROR=ON -DWIRELARK_BUILD_BENCH=OFF
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 600

echo "== capture and store tests under ThreadSanitizer"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DWIRELARK_SANITIZE=thread \
    -DWIRELARK_BUILD_GUI=OFF -DWIRELARK_BUILD_BENCH=OFF
cmake --build build-tsan -j "$jobs" --target capture_tests store_tests
# ThreadSanitizer cannot map its shadow memory under the high address randomisation of newer
# kernels; running without randomisation avoids that.
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
    setarch "$(uname -m)" -R ctest --test-dir build-tsan --output-on-failure --timeout 600 -R '^(capture|store)\.'

echo "== fuzzers (${fuzz_seconds}s each)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DWIRELARK_FUZZ=ON -DWIRELARK_BUILD_GUI=OFF -DWIRELARK_BUILD_TESTS=OFF -DWIRELARK_BUILD_BENCH=OFF
cmake --build build-fuzz -j "$jobs"
shopt -s nullglob
for fuzzer in build-fuzz/fuzz/*_fuzz; do
    name="$(basename "$fuzzer")"
    work="build-fuzz/corpus-work/$name"
    rm -rf "$work" && mkdir -p "$work"
    [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/"
    echo "-- $name"
    "$fuzzer" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        "$work" 2>&1 | tail -n 15
    [ "${PIPESTATUS[0]}" -eq 0 ] || { echo "$name found a fault"; exit 1; }
done

echo "== all tests passed"
