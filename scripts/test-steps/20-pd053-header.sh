# The plug-ins build against Pd 0.53.1's own header too (no multichannel code).
set -euo pipefail
cd "$QUILL_ROOT"
cmake -S . -B build-pd053 -DQUILL_PD_INCLUDE_DIR=/usr/include/pd -DQUILL_BUILD_TESTS=OFF >/dev/null
cmake --build build-pd053 -j"$QUILL_JOBS"
