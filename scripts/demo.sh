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
# The render runs on a copy of the demo: its [dac~] becomes a tap that
# scripts/demo-render/render.pd records, its play button gets a receiver.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
sed -e 's/^\(#X obj [0-9-]* [0-9-]*\) dac~;$/\1 quill-demo-tap;/' \
    -e 's/ bng 30 250 50 0 empty empty play / bng 30 250 50 0 empty quill-demo-play play /' \
    "$root/demo/quill-demo.pd" >"$tmp/quill-demo.pd"
if [ "$(grep -c ' quill-demo-tap;$' "$tmp/quill-demo.pd")" != 1 ] || ! grep -q ' quill-demo-play play ' "$tmp/quill-demo.pd"; then
  echo "demo: the demo patch no longer has one [dac~] and the play button this script instruments" >&2
  exit 1
fi
log=$(pd -nogui -nosound -batch -noprefs -stderr -nrt -r 44100 -path "$root/build/plugins" \
         -path "$root/scripts/demo-render" -open "$tmp/quill-demo.pd" -open "$root/scripts/demo-render/render.pd" \
         -send "quill-demo-render symbol $wav" 2>&1)
if [ ! -s "$wav" ] || grep -qiE "couldn't create|error" <<<"$log"; then
  echo "$log" >&2
  echo "demo: rendering failed" >&2
  exit 1
fi
echo "demo: wrote $wav ($(stat -c %s "$wav") bytes, 6.2 s of 32-bit float audio at 44100 Hz)"
