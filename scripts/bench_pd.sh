#!/usr/bin/env bash
# Real-Pd benchmark: renders N instances of each quill object and of Pd's
# nearest vanilla objects headless in batch mode, in one run, and prints the
# CPU time per instance per second of audio (user + system, minus an empty
# patch that has only the shared sources) and the ratios to each peer.
# A second table does the same for every quill object switched off
# ("active 0") against blockcopy~, a benchmark-only object that copies its
# block with Pd's own copy routine (benchmarks/pd_reference). A switched-off
# object costs so little that its creation and first crossfade would
# dominate, so that table takes the difference between renders of one and of
# two lengths of audio.
#
#   scripts/bench_pd.sh [instances] [seconds]      (defaults: 100 and 30)
#
# Environment: QUILL_PD (default /usr/bin/pd), QUILL_BENCH_BUILD (build folder,
# default build-bench; the plug-ins are built there in Release unless
# QUILL_BENCH_NO_BUILD=1), QUILL_BENCH_REPEAT (renders per object, the
# fastest counts; default 5), QUILL_BENCH_BYPASS_INSTANCES (instances in the
# switched-off table, default 2000: a bypass costs little, so it takes many),
# QUILL_BENCH_BYPASS_SECONDS (its length of audio, default: seconds);
# for a quicker look, QUILL_BENCH_ONLY (entries of the first table to render,
# e.g. "mellow~ mellow~-glide vcf~-sweep"; the other tables are then skipped
# unless QUILL_BENCH_MC lists multichannel objects, e.g. "zigzag~", whose
# voices play held frequencies and, as "vibrato", frequencies moving every sample).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
instances=${1:-100}
seconds=${2:-30}
pd=${QUILL_PD:-/usr/bin/pd}
build=${QUILL_BENCH_BUILD:-$root/build-bench}
repeat=${QUILL_BENCH_REPEAT:-5}
bypass_instances=${QUILL_BENCH_BYPASS_INSTANCES:-2000}
bypass_seconds=${QUILL_BENCH_BYPASS_SECONDS:-$seconds}
rate=44100
TIMEFORMAT='%3U %3S'

if [ "${QUILL_BENCH_NO_BUILD:-0}" != 1 ]; then
  header=/usr/include/pd
  [ -d "$root/build-deps/pd055/usr/include/pd" ] && header=$root/build-deps/pd055/usr/include/pd
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUILL_PD_INCLUDE_DIR="$header" >/dev/null
  cmake --build "$build" --target plugin_mellow plugin_zigzag plugin_klaxon plugin_leveler -j"$(nproc)" >/dev/null
fi
plugins=$build/plugins
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
header=/usr/include/pd
[ -d "$root/build-deps/pd055/usr/include/pd" ] && header=$root/build-deps/pd055/usr/include/pd
cc -O2 -shared -fPIC -I"$header" "$root/benchmarks/pd_reference/blockcopy~.c" -o "$work/blockcopy~.pd_linux"

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
# Moving controls, as a performer moves them: a [metro 100] sends every
# instance a new random value in the control's musical range ("driver": the
# chain of objects after the metro; its last outlet feeds inlet "drive_inlet"
# of every instance). "start": a message every instance gets at load.
declare -A driver drive_inlet start
text[mellow~-glide]="mellow~"; inlet[mellow~-glide]=1; source[mellow~-glide]=noise
driver[mellow~-glide]="random 100|+ 20|mtof|cutoff \\\$1"; drive_inlet[mellow~-glide]=0
# vcf~ sweeping its centre by signal: a 100 ms ramp to each new value.
text[vcf~-sweep]="vcf~ 1"; inlet[vcf~-sweep]=0; source[vcf~-sweep]=noise
driver[vcf~-sweep]="random 100|+ 20|mtof|\\\$1 100|line~"; drive_inlet[vcf~-sweep]=1
text[klaxon~-held]="klaxon~"; inlet[klaxon~-held]=none; source[klaxon~-held]=none
start[klaxon~-held]="triggerTriangle 1"
text[klaxon~-speed]="klaxon~"; inlet[klaxon~-speed]=none; source[klaxon~-speed]=none
start[klaxon~-speed]="triggerTriangle 1"
driver[klaxon~-speed]="random 200|/ 10|speed \\\$1"; drive_inlet[klaxon~-speed]=0
text[klaxon~-sweep]="klaxon~"; inlet[klaxon~-sweep]=none; source[klaxon~-sweep]=none
start[klaxon~-sweep]="triggerTriangle 1"
driver[klaxon~-sweep]="random 101|/ 100|sweep \\\$1"; drive_inlet[klaxon~-sweep]=0
text[leveler~-settled]="leveler~"; inlet[leveler~-settled]=0; source[leveler~-settled]=noise
text[leveler~-intensity]="leveler~"; inlet[leveler~-intensity]=0; source[leveler~-intensity]=noise
driver[leveler~-intensity]="random 101|/ 100|intensity \\\$1"; drive_inlet[leveler~-intensity]=0
objects=(mellow~ lop~ biquad~ vcf~ zigzag~ osc~ phasor~ mellow~-glide vcf~-sweep klaxon~-held klaxon~-speed
         klaxon~-sweep leveler~-settled leveler~-intensity)
if [ -n "${QUILL_BENCH_ONLY:-}" ]; then read -r -a objects <<<"$QUILL_BENCH_ONLY"; fi
# Switched off: each quill object, and Pd's own block copy.
text[leveler~]="leveler~";       inlet[leveler~]=0;   source[leveler~]=noise
text[klaxon~]="klaxon~";         inlet[klaxon~]=none; source[klaxon~]=none
text[blockcopy~]="blockcopy~";   inlet[blockcopy~]=0; source[blockcopy~]=noise
off_objects=(leveler~ mellow~ zigzag~ klaxon~ blockcopy~)
# In series each object reads the one before it, and Pd hands it its input's
# own vector as output: a signal outlet (the control outlet comes first).
declare -A sigout=([leveler~]=1 [mellow~]=1 [zigzag~]=1 [blockcopy~]=0)
chain_objects=(leveler~ mellow~ zigzag~ blockcopy~)
if [ -n "${QUILL_BENCH_ONLY:-}" ]; then off_objects=(); chain_objects=(); fi

# Writes the patch for `object` (or none for the empty patch) to $2, with $3
# instances (default: instances); with $4 = off (side by side, all read the
# source) or chain (in series) every quill instance is sent "active 0" at
# load; $5 is the length of audio in seconds (default: seconds).
write_patch() {
  local object=$1 file=$2 count=${3:-$instances} off=${4:-} ms=$((${5:-$seconds} * 1000)) i
  {
    echo "#N canvas 0 50 450 300 12;"
    echo "#X obj 10 10 loadbang;"
    echo "#X msg 10 40 \\; pd dsp 1;"
    echo "#X obj 10 70 delay $ms;"
    echo "#X msg 10 100 \\; pd quit;"
    echo "#X obj 10 130 noise~;"
    echo "#X obj 10 160 sig~ 440;"
    echo "#X obj 10 190 sig~ 2000;"
    echo "#X msg 10 220 active 0;"
    if [ "$object" != none ]; then
      for ((i = 0; i < count; i++)); do echo "#X obj 100 $((10 + i)) ${text[$object]};"; done
    fi
    echo "#X connect 0 0 1 0;"
    echo "#X connect 0 0 2 0;"
    echo "#X connect 2 0 3 0;"
    echo "#X connect 0 0 7 0;"
    if [ "$object" != none ]; then
      local from=4
      if [ "${source[$object]}" = frequency ]; then from=5; fi
      for ((i = 0; i < count; i++)); do
        if [ "$off" = chain ] && [ "$i" -gt 0 ]; then
          echo "#X connect $((7 + i)) ${sigout[$object]} $((8 + i)) ${inlet[$object]};"
        elif [ "${source[$object]}" != none ]; then
          echo "#X connect $from 0 $((8 + i)) ${inlet[$object]};"
        fi
        if [ "$object" = vcf~ ]; then echo "#X connect 6 0 $((8 + i)) 1;"; fi
        if [ -n "$off" ] && [ "$object" != blockcopy~ ]; then echo "#X connect 7 0 $((8 + i)) 0;"; fi
      done
      # The driver chain and the start message come after the instances.
      local next=$((8 + count))
      if [ -n "${driver[$object]:-}" ]; then
        local parts part
        IFS='|' read -r -a parts <<<"${driver[$object]}"
        echo "#X obj 10 250 metro 100;"
        echo "#X connect 0 0 $next 0;"
        for part in "${parts[@]}"; do
          next=$((next + 1))
          if [[ $part == *'$'* ]]; then echo "#X msg 10 250 $part;"; else echo "#X obj 10 250 $part;"; fi
          echo "#X connect $((next - 1)) 0 $next 0;"
        done
        for ((i = 0; i < count; i++)); do echo "#X connect $next 0 $((8 + i)) ${drive_inlet[$object]};"; done
        next=$((next + 1))
      fi
      if [ -n "${start[$object]:-}" ]; then
        echo "#X msg 10 280 ${start[$object]};"
        echo "#X connect 0 0 $next 0;"
        for ((i = 0; i < count; i++)); do echo "#X connect $next 0 $((8 + i)) 0;"; done
      fi
    fi
  } >"$file"
}

# CPU seconds (user + system) of one render of patch $1.
render() {
  [ -f "$1" ] || { echo "bench_pd: no patch $1" >&2; exit 1; }
  { time "$pd" -nogui -nosound -batch -noprefs -stderr -nrt -r $rate \
      -path "$plugins" -path "$work" -open "$1" >"$work/console" 2>&1; } 2>"$work/time"
  if grep -q "couldn't create" "$work/console"; then
    echo "bench_pd: an object could not be created in $1:" >&2
    cat "$work/console" >&2
    exit 1
  fi
  awk '{print $1 + $2}' "$work/time"
}

# Rounds over all patches, so that a change in the machine's load touches
# every object alike; the fastest render of each counts.
# The patch file of a table entry: "none", an object, or "off-" and an object.
patch_file() { local name=$1; echo "$work/bench-${name//\~/}.pd"; }
write_patch none "$(patch_file none)"
for object in "${objects[@]}"; do write_patch "$object" "$(patch_file "$object")"; done
for object in "${off_objects[@]}"; do
  write_patch "$object" "$(patch_file "off-$object")" "$bypass_instances" off "$bypass_seconds"
  write_patch "$object" "$(patch_file "off2-$object")" "$bypass_instances" off $((2 * bypass_seconds))
done
for object in "${chain_objects[@]}"; do
  write_patch "$object" "$(patch_file "chain-$object")" "$bypass_instances" chain "$bypass_seconds"
  write_patch "$object" "$(patch_file "chain2-$object")" "$bypass_instances" chain $((2 * bypass_seconds))
done
patches=(none "${objects[@]}")
for object in "${off_objects[@]}"; do patches+=("off-$object" "off2-$object"); done
for object in "${chain_objects[@]}"; do patches+=("chain-$object" "chain2-$object"); done
declare -A best
for ((round = 0; round < repeat; round++)); do
  for object in "${patches[@]}"; do
    t=$(render "$(patch_file "$object")")
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
# Cost of one more length of audio: $1 the entry of one length, $2 of two.
extra_cost() {
  awk -v t2="${best[$2]}" -v t1="${best[$1]}" -v n="$bypass_instances" -v s="$bypass_seconds" \
    'BEGIN{c = (t2 - t1) / n / s * 1e6; if (c < 0) c = 0; printf "%.2f", c}'
}
for object in "${off_objects[@]}"; do cost[off-$object]=$(extra_cost "off-$object" "off2-$object"); done
for object in "${chain_objects[@]}"; do cost[chain-$object]=$(extra_cost "chain-$object" "chain2-$object"); done

echo "Pd: $("$pd" -version 2>&1 | head -1); $instances instances, $seconds s of audio at $rate Hz, fastest of $repeat renders"
echo "empty patch: $base s CPU (subtracted)"
printf "%-20s %28s\n" object "us CPU / instance / audio s"
for object in "${objects[@]}"; do printf "%-20s %28s\n" "$object" "${cost[$object]}"; done
echo
ratio() { awk -v a="${cost[$1]:-0}" -v b="${cost[$2]:-0}" 'BEGIN{if (b > 0) printf "%.2f", a / b; else print "n/a"}'; }
echo "moving controls (a new random value every 100 ms) against settled ones:"
echo "  mellow~ gliding: /mellow~ $(ratio mellow~-glide mellow~)  /vcf~ sweeping $(ratio mellow~-glide vcf~-sweep)"
echo "  klaxon~ held note, speed moving: /held $(ratio klaxon~-speed klaxon~-held);" \
     "sweep moving: /held $(ratio klaxon~-sweep klaxon~-held)"
echo "  leveler~ intensity moving: /settled $(ratio leveler~-intensity leveler~-settled)"
for object in mellow~ zigzag~; do
  if [ "$object" = mellow~ ]; then peers=(lop~ biquad~ vcf~); else peers=(osc~ phasor~); fi
  line="$object cost ratio:"
  for peer in "${peers[@]}"; do line="$line  /$peer $(ratio "$object" "$peer")"; done
  echo "$line"
done

if [ ${#off_objects[@]} -gt 0 ]; then
  echo
  echo "Switched off (\"active 0\"), $bypass_instances instances, $bypass_seconds s more audio, against Pd's own block copy:"
  printf "%-10s %14s %12s %14s %12s\n" object "side by side" /blockcopy~ "in series" /blockcopy~
  for object in "${off_objects[@]}"; do
    if [ -n "${sigout[$object]:-}" ]; then
      series=${cost[chain-$object]}; series_ratio=$(ratio "chain-$object" chain-blockcopy~)
    else
      series="-"; series_ratio="-"
    fi
    printf "%-10s %14s %12s %14s %12s\n" "$object" "${cost[off-$object]}" "$(ratio "off-$object" off-blockcopy~)" \
      "$series" "$series_ratio"
  done
  echo "(us CPU per instance per second of audio; side by side every instance reads one source,"
  echo " in series each reads the one before it and Pd gives it its input's vector as output)"
fi

# Multichannel (Pd 0.54 and later): one mellow~ or zigzag~ fed a C-channel
# signal by [snake~ in C], against the same object with one channel.
pd055=$root/build-deps/pd055/usr/lib/puredata/bin/pd
if [ ! -x "$pd055" ]; then
  echo
  echo "multichannel table skipped: no Pd 0.55.2 in build-deps/pd055 (scripts/fetch_pd_trixie.sh)"
  exit 0
fi
write_mc_patch() {  # OBJECT CHANNELS glide|held|vibrato FILE
  local object=$1 channels=$2 mode=$3 file=$4 i next per=1
  [ "$mode" = vibrato ] && per=3
  {
    echo "#N canvas 0 50 450 300 12;"
    echo "#X obj 10 10 loadbang;"
    echo "#X msg 10 40 \\; pd dsp 1;"
    echo "#X obj 10 70 delay $((seconds * 1000));"
    echo "#X msg 10 100 \\; pd quit;"
    for ((i = 0; i < channels; i++)); do
      if [ "$object" = mellow~ ]; then
        echo "#X obj 10 130 noise~;"
      elif [ "$mode" = vibrato ]; then  # 220 + 55·i Hz, a vibrato of 0.6 % at 5.5 Hz
        echo "#X obj 10 130 osc~ 5.5;"
        echo "#X obj 10 130 *~ $(awk -v f=$((220 + 55 * i)) 'BEGIN{print f * 0.006}');"
        echo "#X obj 10 130 +~ $((220 + 55 * i));"
      else
        echo "#X obj 10 130 sig~ $((220 + 55 * i));"
      fi
    done
    echo "#X obj 10 160 snake~ in $channels;"
    next=$((5 + per * channels))
    echo "#X obj 10 190 metro 100;"  # drives "cutoff" when gliding; idle otherwise
    echo "#X obj 10 220 random 1000;"
    echo "#X obj 10 250 + 20;"
    echo "#X msg 10 280 cutoff \$1;"
    for ((i = 0; i < instances; i++)); do echo "#X obj 100 $((10 + i)) $object;"; done
    echo "#X connect 0 0 1 0;"
    echo "#X connect 0 0 2 0;"
    echo "#X connect 2 0 3 0;"
    for ((i = 0; i < channels; i++)); do
      if [ $per = 3 ]; then
        echo "#X connect $((4 + 3 * i)) 0 $((5 + 3 * i)) 0;"
        echo "#X connect $((5 + 3 * i)) 0 $((6 + 3 * i)) 0;"
      fi
      echo "#X connect $((4 + per * i + per - 1)) 0 $((4 + per * channels)) $i;"
    done
    if [ "$mode" = glide ]; then
      echo "#X connect 0 0 $((next)) 0;"
      echo "#X connect $next 0 $((next + 1)) 0;"
      echo "#X connect $((next + 1)) 0 $((next + 2)) 0;"
      echo "#X connect $((next + 2)) 0 $((next + 3)) 0;"
    fi
    for ((i = 0; i < instances; i++)); do
      echo "#X connect $((4 + per * channels)) 0 $((next + 4 + i)) 1;"
      if [ "$mode" = glide ]; then echo "#X connect $((next + 3)) 0 $((next + 4 + i)) 0;"; fi
    done
  } >"$file"
}
mc_cases=("mellow~ held" "mellow~ glide" "zigzag~ held" "zigzag~ vibrato")
if [ -n "${QUILL_BENCH_ONLY:-}" ]; then
  wanted=" ${QUILL_BENCH_MC:-} " kept=()
  for c in "${mc_cases[@]}"; do [[ $wanted == *" ${c%% *} "* ]] && kept+=("$c"); done
  [ ${#kept[@]} -gt 0 ] || exit 0
  mc_cases=("${kept[@]}")
fi
declare -A mc_best
for ((round = 0; round < repeat; round++)); do
  for c in "${mc_cases[@]}"; do
    read -r object mode <<<"$c"
    for channels in 1 2 4 8 16; do
      f="$work/mc-${object//\~/}-$mode-$channels.pd"
      [ -f "$f" ] || write_mc_patch "$object" "$channels" "$mode" "$f"
      t=$(pd=$pd055 render "$f")
      key="$object $mode $channels"
      if [ -z "${mc_best[$key]:-}" ] || awk -v a="$t" -v b="${mc_best[$key]}" 'BEGIN{exit !(a < b)}'; then
        mc_best[$key]=$t
      fi
    done
  done
done
echo
echo "Multichannel in Pd 0.55.2, $instances objects, $seconds s: CPU of C channels against 1 channel"
printf "%-22s %8s %8s %8s %8s\n" "object" "C=2" "C=4" "C=8" "C=16"
for c in "${mc_cases[@]}"; do
  read -r object mode <<<"$c"
  one=${mc_best[$object $mode 1]}
  line=$(printf "%-22s" "$object ${mode/held/settled}")
  for channels in 2 4 8 16; do
    line="$line $(awk -v a="${mc_best[$object $mode $channels]}" -v b="$one" 'BEGIN{if (b > 0) printf "%8.2f", a / b; else printf "%8s", "n/a"}')"
  done
  echo "$line"
done
