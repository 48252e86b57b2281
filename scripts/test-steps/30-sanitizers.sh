# Every test that runs without a real Pd (kernel, registry, adapter,
# differential, proofs, layout) under AddressSanitizer and
# UndefinedBehaviorSanitizer; the modules are not built.
set -euo pipefail
cd "$QUILL_ROOT"
cmake -S . -B build-sanitize -DQUILL_PD_INCLUDE_DIR="$QUILL_PD055/usr/include/pd" -DQUILL_SANITIZE=ON \
      -DQUILL_BUILD_PLUGINS=OFF -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-sanitize -j"$QUILL_JOBS"
cd build-sanitize
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j"$QUILL_JOBS" -LE integration
