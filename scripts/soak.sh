#!/usr/bin/env bash
# Long run, not part of scripts/test.sh: every object rendered headless in
# Pd for more than 2^31 samples (48800 s of audio at 44100 Hz, batch mode)
# with every output sample checked for being finite and within bounds, and
# klaxon's hold and release counters driven to INT32_MAX in-process.
# Takes hours; prints one line per object and "soak passed" or "soak FAILED".
#
#   scripts/soak.sh [--pd PD] [--seconds S] [--objects zigzag,mellow] [--no-pd] [--no-counters]
#
# Objects: zigzag (2000 to 20000 Hz), zigzag-wild (+-1e6 Hz, finiteness
# only), mellow, klaxon (one note held throughout), leveler.
#
# Default Pd: Debian's /usr/bin/pd (0.53.1). Build folder: build-soak, or
# $QUILL_SOAK_BUILD.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh >/dev/null
build=${QUILL_SOAK_BUILD:-$root/build-soak}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DQUILL_PD_INCLUDE_DIR="$root/build-deps/pd055/usr/include/pd" >/dev/null
cmake --build "$build" -j"$(nproc)" --target plugin_zigzag plugin_mellow plugin_klaxon plugin_leveler \
      quill_kernel_klaxon quill_pd_harness >/dev/null

# The soak program: the project's strict float flags, the klaxon kernel and
# the Pd harness of the integration tests.
g++ -std=c++17 -O2 -g -ffp-contract=off -fno-fast-math -fno-associative-math \
    $( [ "$(uname -m)" = x86_64 ] && echo -msse2 -mfpmath=sse ) \
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion \
    -DQUILL_LEVELER_REVISION=0 -I"$root" \
    scripts/soak/soak_main.cpp scripts/soak/soak_pd.cpp scripts/soak/soak_klaxon.cpp \
    "$build/kernels/klaxon/libquill_kernel_klaxon.a" "$build/tests/integration/libquill_pd_harness.a" \
    -o "$build/quill_soak"

exec "$build/quill_soak" --plugins "$build/plugins" "$@"
