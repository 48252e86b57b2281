#!/usr/bin/env bash
# Instruction counts (valgrind's callgrind) of the kernels' moving-control
# scenarios, 2000 blocks of 64 samples each: a comparison that does not
# depend on the machine's load, as the timed benchmarks do.
#
#   scripts/count_instructions.sh [kernel library folder]
#
# The folder (default build-bench/kernels, built in Release by
# scripts/bench.sh) holds NAME/libquill_kernel_NAME.a.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
libs=${1:-$root/build-bench/kernels}
command -v valgrind >/dev/null || { echo "count_instructions: needs valgrind" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
src_root=$(cd "$libs/../.." 2>/dev/null && [ -f kernels/CMakeLists.txt ] && pwd || echo "$root")
g++ -std=c++17 -O2 -ffp-contract=off -msse2 -mfpmath=sse -Wno-psabi -I"$src_root" \
    "$root/benchmarks/counts/kernel_scenarios.cpp" \
    "$libs"/mellow/libquill_kernel_mellow.a "$libs"/klaxon/libquill_kernel_klaxon.a \
    "$libs"/leveler/libquill_kernel_leveler.a "$libs"/zigzag/libquill_kernel_zigzag.a -o "$work/scenarios"
printf "%-20s %16s %12s\n" scenario instructions "per sample"
for s in mellow_settled mellow_gliding klaxon_held klaxon_held_square klaxon_speed klaxon_sweep leveler_settled \
         leveler_intensity leveler_literal zigzag_held_1 zigzag_held_8 zigzag_vibrato_1 zigzag_vibrato_8; do
  valgrind --tool=callgrind --callgrind-out-file="$work/out" --toggle-collect='*counted*' \
      "$work/scenarios" "$s" >/dev/null 2>&1
  ir=$(awk '/^summary:/ {print $2}' "$work/out")
  printf "%-20s %16s %12.1f\n" "$s" "$ir" "$(awk -v i="$ir" 'BEGIN{print i / (2000 * 64)}')"
done
