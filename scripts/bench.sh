#!/usr/bin/env bash
# Builds the benchmarks in Release and runs them all, then prints one table:
# each kernel's ns per sample, literal form and shipped kernel side by side
# with the ratio (from the same run), and the adapter's own cost per block.
#
#   scripts/bench.sh [extra Google Benchmark flags]
#
# Environment: QUILL_BENCH_BUILD (build folder, default build-bench),
# QUILL_BENCH_MIN_TIME (seconds per benchmark and repetition, default 0.5),
# QUILL_BENCH_REPETITIONS (default 5). The repetitions of a program's
# benchmarks run in random order and the table shows their medians, so that
# a passing change in the machine's load does not skew one side of a ratio.
# Benchmarks are named KERNEL/literal|shipped/SCENARIO/INSTANCES and
# adapter/VARIANT/CASE/BLOCKSIZE; every benchmarks/bench_*.cpp is picked up.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QUILL_BENCH_BUILD:-$root/build-bench}
min_time=${QUILL_BENCH_MIN_TIME:-0.5}
repetitions=${QUILL_BENCH_REPETITIONS:-5}

if ! dpkg-query -W -f '${Status}' libbenchmark-dev 2>/dev/null | grep -q "install ok installed"; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends libbenchmark-dev >/dev/null
fi

header=/usr/include/pd
[ -d "$root/build-deps/pd055/usr/include/pd" ] && header=$root/build-deps/pd055/usr/include/pd
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUILL_PD_INCLUDE_DIR="$header" >/dev/null

results=$(mktemp)
trap 'rm -f "$results"' EXIT
programs=()
for source in "$root"/benchmarks/bench_*.cpp; do
  stem=$(basename "$source" .cpp)
  targets=("$stem")
  if [ "$stem" = bench_adapter ]; then targets+=(bench_adapter_leveler); fi
  if [ "$stem" = bench_denormals ]; then targets=(bench_denormals_mellow bench_denormals_leveler); fi
  for target in "${targets[@]}"; do
    if cmake --build "$build" --target "$target" -j"$(nproc)" >/dev/null 2>&1; then
      programs+=("$build/benchmarks/$target")
    else
      echo "bench: $target did not build; skipped" >&2
    fi
  done
done

for program in "${programs[@]}"; do
  echo "running $(basename "$program")..." >&2
  "$program" --benchmark_format=csv --benchmark_min_time="$min_time" --benchmark_repetitions="$repetitions" \
    --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true "$@" 2>/dev/null |
    grep '^"' | sort >>"$results" || true
done

# CSV: name,iterations,real_time,cpu_time,time_unit,bytes_per_second,items_per_second,...
awk -F, '
function ns(rate) { return rate > 0 ? 1e9 / rate : 0 }
{
  name = $1; gsub(/"/, "", name)
  # With repetitions only the medians count; a single run has no suffix.
  if (name ~ /_(mean|stddev|cv)$/) next
  sub(/_median$/, "", name)
  n = split(name, part, "/")
  if (n != 4) { other[++nO] = sprintf("%-40s %12.3f %s", name, $4, $5); next }
  if (part[1] == "adapter") {
    key = part[2] "/" part[4]
    unit = $5; t = $4
    if (unit == "us") t *= 1e3; else if (unit == "ms") t *= 1e6
    adapter[key, part[3]] = t
    if (!(key in seenA)) { seenA[key] = 1; orderA[++nA] = key }
    next
  }
  key = part[1] "/" part[3] "/" part[4]
  perSample[key, part[2]] = ns($7)
  if (!(key in seen)) { seen[key] = 1; order[++nK] = key }
}
END {
  printf "%-30s %14s %14s %9s\n", "kernel/scenario/instances", "literal ns/smp", "shipped ns/smp", "speed-up"
  for (i = 1; i <= nK; i++) {
    k = order[i]; l = perSample[k, "literal"]; s = perSample[k, "shipped"]
    printf "%-30s %14.2f %14.2f %8.2fx\n", k, l, s, (s > 0 ? l / s : 0)
  }
  print ""
  printf "%-30s %10s %10s %10s %10s %10s %10s\n", "adapter/block size", "on ns/blk", "bypass ns", "in place", "copy ns",
         "bypass/cp", "in pl./cp"
  for (i = 1; i <= nA; i++) {
    k = orderA[i]; on = adapter[k, "do_nothing"]; by = adapter[k, "bypassed"]; cp = adapter[k, "copy_block"]
    ip = adapter[k, "bypassed_in_place"]
    printf "%-30s %10.1f %10.1f %10.1f %10.1f %9.2fx %9.2fx\n", k, on, by, ip, cp, (cp > 0 ? by / cp : 0),
           (cp > 0 ? ip / cp : 0)
  }
  print "(bypass: output vectors apart from the input; in place: the first output is the input'"'"'s own"
  print " vector, as Pd hands it out when nothing else reads that signal; copy: one block copied into"
  print " every outlet by a perform routine)"
  if (nO > 0) {
    print ""
    printf "%-40s %12s\n", "other benchmarks", "CPU time"
    for (i = 1; i <= nO; i++) print other[i]
  }
}' "$results"
