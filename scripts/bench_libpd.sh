#!/usr/bin/env bash
# Time per block of each quill object in Debian sid's libpd 0.57 under
# moving controls, in one instance and in four instances on four threads:
# median, 99.9th percentile and worst, single and double precision
# (tests/libpd/bench_libpd_host.cpp). A measurement, not a test: the worst
# cases count every preemption of a busy machine.
# Usage: bench_libpd.sh [BLOCKS]   (default 20000 blocks per instance, 27 s of audio)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc)
export QUILL_SID="$root/build-deps/sid"
[ -x "$QUILL_SID/usr/lib/x86_64-linux-gnu/ld-linux-x86-64.so.2" ] || scripts/fetch_pd_hosts.sh "$root/build-deps" >/dev/null
[ -d "$root/build-deps/pd055" ] || scripts/fetch_pd_trixie.sh "$root/build-deps/pd055" >/dev/null

cmake -S . -B build -DQUILL_PD_INCLUDE_DIR="$root/build-deps/pd055/usr/include/pd" >/dev/null
cmake --build build -j"$jobs" --target \
  $(for s in klaxon mellow zigzag leveler; do printf 'plugin_%s plugin64_%s ' "$s" "$s"; done) >/dev/null
cmake -S tests/libpd -B build-libpd -DQUILL_SID="$QUILL_SID" >/dev/null
cmake --build build-libpd -j"$jobs" --target bench_libpd_host bench_libpd64_host >/dev/null

export QUILL_PLUGIN_DIR="$root/build/plugins"
export QUILL_BENCH_BLOCKS=${1:-20000}
for bench in bench_libpd_host bench_libpd64_host; do
  scripts/sid_run.sh "build-libpd/$bench"
  echo
done
