#!/usr/bin/env bash
# Real-Pd benchmark: renders N instances of each quill object and of Pd's
# nearest vanilla objects headless in batch mode, in one run, and prints the
# CPU time per instance per second of audio (user + system, minus an empty
# patch that has only the shared sources) and the ratios to each peer.
#
#   scripts/bench_pd.sh [instances] [seconds]      (defaults: 100 and 30)
#
# Environment: QUILL_PD (default /usr/bin/pd), QUILL_BENCH_BUILD (build folder,
# default build-bench; the plug-ins are built there in Release unless
# QUILL_BENCH_NO_BUILD=1), QUILL_BENCH_REPEAT (renders per object, the
# fastest counts; default 5).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
instances=${1:-100}
seconds=${2:-30}
pd=${QUILL_PD:-/usr/bin/pd}
build=${QUILL_BENCH_BUILD:-$root/build-bench}
repeat=${QUILL_BENCH_REPEAT:-5}
rate=44100
TIMEFORMAT='%3U %3S'

if [ "${QUILL_BENCH_NO_BUILD:-0}" != 1 ]; then
  header=/usr/include/pd
  [ -d "$root/build-deps/pd055/usr/include/pd" ] && header=$root/build-deps/pd055/usr/include/pd
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUILL_PD_INCLUDE_DIR="$header" >/dev/null
  cmake --build "$build" --target plugin_mellow plugin_zigzag -j"$(nproc)" >/dev/null
fi
plugins=$build/plugins
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Each object: its creation text, and the inlet the shared source feeds.
# noise~ feeds the filters; sig~ 440 the oscillators (and vcf~'s centre,
# at 2000 Hz, through a second sig~).
declare -A text inlet source
text[mellow~]="mellow~";   inlet[mellow~]=1; source[mellow~]=noise
text[lop~]="lop~ 2000";    inlet[lop~]=0;    source[lop~]=noise
# A lowpass at 2000 Hz, Q 0.707, at 44100 Hz: fb1 fb2 ff1 ff2 ff3.
text[biquad~]="biquad~ 1.6020 -0.6649 0.0157 0.0315 0.0157"; inlet[biquad~]=0; source[biquad~]=noise
text[vcf~]="vcf~ 1";       inlet[vcf~]=0;    source[vcf~]=noise
text[zigzag~]="zigzag~";   inlet[zigzag~]=1; source[zigzag~]=frequency
text[osc~]="osc~";         inlet[osc~]=0;    source[osc~]=frequency
text[phasor~]="phasor~";   inlet[phasor~]=0; source[phasor~]=frequency
objects=(mellow~ lop~ biquad~ vcf~ zigzag~ osc~ phasor~)

# Writes the patch for `object` (or none for the empty patch) to $2.
write_patch() {
  local object=$1 file=$2 ms=$((seconds * 1000)) i
  {
    echo "#N canvas 0 50 450 300 12;"
    echo "#X obj 10 10 loadbang;"
    echo "#X msg 10 40 \\; pd dsp 1;"
    echo "#X obj 10 70 delay $ms;"
    echo "#X msg 10 100 \\; pd quit;"
    echo "#X obj 10 130 noise~;"
    echo "#X obj 10 160 sig~ 440;"
    echo "#X obj 10 190 sig~ 2000;"
    if [ "$object" != none ]; then
      for ((i = 0; i < instances; i++)); do echo "#X obj 100 $((10 + i)) ${text[$object]};"; done
    fi
    echo "#X connect 0 0 1 0;"
    echo "#X connect 0 0 2 0;"
    echo "#X connect 2 0 3 0;"
    if [ "$object" != none ]; then
      local from=4
      if [ "${source[$object]}" = frequency ]; then from=5; fi
      for ((i = 0; i < instances; i++)); do
        echo "#X connect $from 0 $((7 + i)) ${inlet[$object]};"
        if [ "$object" = vcf~ ]; then echo "#X connect 6 0 $((7 + i)) 1;"; fi
      done
    fi
  } >"$file"
}

# CPU seconds (user + system) of one render of patch $1.
render() {
  { time "$pd" -nogui -nosound -batch -noprefs -stderr -nrt -r $rate \
      -path "$plugins" -open "$1" >"$work/console" 2>&1; } 2>"$work/time"
  if grep -q "couldn't create" "$work/console"; then
    echo "bench_pd: an object could not be created in $1:" >&2
    cat "$work/console" >&2
    exit 1
  fi
  awk '{print $1 + $2}' "$work/time"
}

# Rounds over all patches, so that a change in the machine's load touches
# every object alike; the fastest render of each counts.
write_patch none "$work/bench-none.pd"
for object in "${objects[@]}"; do write_patch "$object" "$work/bench-${object%~}.pd"; done
declare -A best
for ((round = 0; round < repeat; round++)); do
  for object in none "${objects[@]}"; do
    t=$(render "$work/bench-${object%~}.pd")
    if [ -z "${best[$object]:-}" ] || awk -v a="$t" -v b="${best[$object]}" 'BEGIN{exit !(a < b)}'; then
      best[$object]=$t
    fi
  done
done
base=${best[none]}
declare -A cost
for object in "${objects[@]}"; do
  cost[$object]=$(awk -v t="${best[$object]}" -v b="$base" -v n="$instances" -v s="$seconds" \
                  'BEGIN{c = (t - b) / n / s * 1e6; if (c < 0) c = 0; printf "%.2f", c}')
done

echo "Pd: $("$pd" -version 2>&1 | head -1); $instances instances, $seconds s of audio at $rate Hz, fastest of $repeat renders"
echo "empty patch: $base s CPU (subtracted)"
printf "%-10s %28s\n" object "us CPU / instance / audio s"
for object in "${objects[@]}"; do printf "%-10s %28s\n" "$object" "${cost[$object]}"; done
echo
ratio() { awk -v a="${cost[$1]}" -v b="${cost[$2]}" 'BEGIN{if (b > 0) printf "%.2f", a / b; else print "n/a"}'; }
for object in mellow~ zigzag~; do
  if [ "$object" = mellow~ ]; then peers=(lop~ biquad~ vcf~); else peers=(osc~ phasor~); fi
  line="$object cost ratio:"
  for peer in "${peers[@]}"; do line="$line  /$peer $(ratio "$object" "$peer")"; done
  echo "$line"
done
