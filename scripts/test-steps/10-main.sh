# Kernel, registry, adapter and real-Pd integration tests (Pd 0.51.4, 0.53.1,
# 0.55.2 and 0.57.0), built against Pd 0.55.2's header.
set -euo pipefail
cd "$QUILL_ROOT"
cmake -S . -B build -DQUILL_PD_INCLUDE_DIR="$QUILL_PD055/usr/include/pd" >/dev/null
cmake --build build -j"$QUILL_JOBS"
# The maths module's sweeps try every 31st float here; the whole proof:
# QUILL_SWEEP_STRIDE=1 ctest -L exact.
cd build && QUILL_SWEEP_STRIDE=${QUILL_SWEEP_STRIDE:-31} ctest --output-on-failure -j"$QUILL_JOBS"
# GCC builds for x86-64 pick AVX2 forms at run time where the processor has
# them: the unit and differential tests again on the baseline forms.
QUILL_NO_AVX2=1 ctest --output-on-failure -j"$QUILL_JOBS" -L "unit|differential" -LE exact
