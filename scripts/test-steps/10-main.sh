# Kernel, registry, adapter and real-Pd integration tests (Pd 0.53.1 and
# Pd 0.55.2), built against Pd 0.55.2's header.
set -euo pipefail
cd "$QUILL_ROOT"
cmake -S . -B build -DQUILL_PD_INCLUDE_DIR="$QUILL_PD055/usr/include/pd" >/dev/null
cmake --build build -j"$QUILL_JOBS"
cd build && ctest --output-on-failure -j"$QUILL_JOBS"
