#!/usr/bin/env bash
# Builds everything and runs every test: kernel, adapter and registry tests,
# the real-Pd integration tests in Pd 0.53.1 and Pd 0.55.2, a build against
# Pd 0.53.1's own header, and the unit and adapter tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)

scripts/setup.sh

pd055="$root/build-deps/pd055"

echo "== build against Pd 0.55.2's header, all tests"
cmake -S . -B build -DQUILL_PD_INCLUDE_DIR="$pd055/usr/include/pd" >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

echo "== plug-ins built against Pd 0.53.1's own header"
cmake -S . -B build-pd053 -DQUILL_PD_INCLUDE_DIR=/usr/include/pd -DQUILL_BUILD_TESTS=OFF >/dev/null
cmake --build build-pd053 -j"$jobs"

echo "== unit and adapter tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-sanitize -DQUILL_PD_INCLUDE_DIR="$pd055/usr/include/pd" -DQUILL_SANITIZE=ON \
      -DQUILL_BUILD_PLUGINS=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-sanitize -j"$jobs"
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
   ctest --output-on-failure -j"$jobs" -LE integration)
