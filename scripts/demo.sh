#!/usr/bin/env bash
# Builds the objects and renders the demo patch headless (Pd 0.53.1, batch
# mode) to out/quill-demo.wav.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
cmake -S . -B build -DQUILL_PD_INCLUDE_DIR="$root/build-deps/pd055/usr/include/pd" >/dev/null
cmake --build build -j"$(nproc)" --target plugin_zigzag plugin_mellow plugin_klaxon plugin_leveler >/dev/null
mkdir -p out
wav="$root/out/quill-demo.wav"
rm -f "$wav"
log=$(pd -nogui -nosound -batch -noprefs -stderr -nrt -r 44100 -path "$root/build/plugins" \
         -open "$root/demo/quill-demo.pd" -send "quill-demo-render symbol $wav" 2>&1)
if [ ! -s "$wav" ] || grep -q "couldn't create" <<<"$log"; then
  echo "$log" >&2
  echo "demo: rendering failed" >&2
  exit 1
fi
echo "demo: wrote $wav ($(stat -c %s "$wav") bytes, 6.2 s of 32-bit float audio at 44100 Hz)"
