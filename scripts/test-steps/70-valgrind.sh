# The four plug-ins' integration suites once more, with Pd 0.53.1 running
# under valgrind's memcheck: no invalid read or write, no use of
# uninitialised values, nothing definitely lost. Also under valgrind: the
# multichannel tests in Pd 0.55.2 (leveler~ -m, and the voices of mellow~
# and zigzag~), and a patch that creates every plug-in,
# runs audio, sends messages and then deletes every object (the suites' Pd
# runs end without freeing their objects, so the deletion path gets its own
# run). Every valgrind report is kept in build-valgrind/logs/.
set -euo pipefail
cd "$QUILL_ROOT"

if ! command -v valgrind >/dev/null; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends valgrind >/dev/null
fi

suites=(zigzag mellow klaxon leveler)
work="$QUILL_ROOT/build-valgrind"
# The programs and modules step 10 built; built here when missing.
bin="$QUILL_ROOT/build"
for s in "${suites[@]}"; do
  if [ ! -x "$bin/tests/integration/test_${s}_in_pd" ] || [ ! -e "$bin/plugins/$s~.l_amd64" -a ! -e "$bin/plugins/$s~.l_arm64" ]; then
    bin="$work"
  fi
done
if [ "$bin" = "$work" ]; then
  cmake -S . -B "$work" -DQUILL_PD_INCLUDE_DIR="$QUILL_PD055/usr/include/pd" >/dev/null
  cmake --build "$work" -j"$QUILL_JOBS" --target $(printf 'test_%s_in_pd ' "${suites[@]}") test_multichannel_in_pd
fi
plugins="$bin/plugins"

logs="$work/logs"
rm -rf "$logs"
mkdir -p "$logs"

# QUILL_PD points the harness at a wrapper: Pd under memcheck, exit status 97
# on any error (a definite leak counts as one).
wrapper() {  # wrapper NAME PD-BINARY
  cat >"$work/$1" <<EOF
#!/bin/sh
exec valgrind --tool=memcheck --error-exitcode=97 --leak-check=full --errors-for-leak-kinds=definite \\
  --show-leak-kinds=definite --track-origins=yes --num-callers=30 --log-file="$logs/$1.%p.log" "$2" "\$@"
EOF
  chmod +x "$work/$1"
}
wrapper pd053 /usr/bin/pd
pd055="$QUILL_PD055/usr/lib/puredata/bin/pd"
[ -x "$pd055" ] && wrapper pd055 "$pd055"

failed=()
run_suite() {  # run_suite NAME PD-WRAPPER MULTICHANNEL [gtest arguments]
  local name=$1 pd=$2 multi=$3
  shift 3
  QUILL_PD="$work/$pd" QUILL_PLUGIN_DIR="$plugins" QUILL_PD_MULTICHANNEL=$multi \
    "$bin/tests/integration/test_${name}_in_pd" "$@" >"$logs/suite-$name-$pd.txt" 2>&1
}
pids=()
names=()
start_job() {  # start_job LABEL COMMAND...
  local label=$1
  shift
  "$@" &
  pids+=($!)
  names+=("$label")
  if [ ${#pids[@]} -ge "$QUILL_JOBS" ]; then
    wait "${pids[0]}" || failed+=("${names[0]}")
    pids=("${pids[@]:1}")
    names=("${names[@]:1}")
  fi
}
for s in "${suites[@]}"; do
  start_job "$s in Pd 0.53.1" run_suite "$s" pd053 0
done
if [ -x "$pd055" ]; then
  start_job "leveler multichannel in Pd 0.55.2" run_suite leveler pd055 1 --gtest_filter='*Multichannel*'
  start_job "mellow and zigzag voices in Pd 0.55.2" run_suite multichannel pd055 1 \
    --gtest_filter='*With3*:*With8*:*ChannelCounts*'
fi

# Every plug-in created, run, messaged and deleted; some created again while
# audio runs, then deleted again.
patch="$work/lifecycle.pd"
cat >"$patch" <<'EOF'
#N canvas 0 50 600 400 12;
#N canvas 0 50 600 400 sub 0;
#X obj 10 10 osc~ 440;
#X obj 10 40 mellow~ voice1;
#X obj 10 70 zigzag~ 48000;
#X obj 10 100 klaxon~;
#X obj 10 130 leveler~ -x 44100;
#X obj 10 160 leveler~ -m;
#X obj 10 190 noise~;
#X obj 200 10 loadbang;
#X msg 200 40 cutoff 500 \, resonanceQ 20 \, bang \, cutoff \, active 0 \, active 1 \, nothing 3 \, cutoff a b;
#X msg 200 70 triggerSaw 1 \, decay 10 \, bang \, Trigger/pitch 1e+30 \, active 0;
#X msg 200 100 intensity 2 \, bang \, active 0 \, intensity;
#X msg 200 130 active 0 \, bang \, active;
#X obj 10 220 print reply;
#X connect 0 0 1 1;
#X connect 0 0 2 1;
#X connect 6 0 4 1;
#X connect 6 0 5 1;
#X connect 7 0 8 0;
#X connect 7 0 9 0;
#X connect 7 0 10 0;
#X connect 7 0 11 0;
#X connect 8 0 1 0;
#X connect 9 0 3 0;
#X connect 10 0 4 0;
#X connect 11 0 2 0;
#X connect 1 0 12 0;
#X restore 10 10 pd sub;
#X obj 10 60 loadbang;
#X msg 10 90 \; pd dsp 1;
#X obj 150 60 delay 100;
#X msg 150 90 \; pd-sub clear \; pd-sub obj 10 10 mellow~ \; pd-sub obj 10 40 leveler~ -m 48000 \; pd-sub obj 10 70 klaxon~ s1 \; pd-sub obj 10 100 zigzag~;
#X obj 300 60 delay 200;
#X msg 300 90 \; pd dsp 0 \; pd dsp 1 \; pd-sub clear;
#X obj 450 60 delay 300;
#X msg 450 90 \; pd quit;
#X connect 1 0 2 0;
#X connect 1 0 3 0;
#X connect 3 0 4 0;
#X connect 1 0 5 0;
#X connect 5 0 6 0;
#X connect 1 0 7 0;
#X connect 7 0 8 0;
EOF
run_patch() {  # run_patch PD-WRAPPER
  timeout 300 "$work/$1" -nogui -nosound -batch -noprefs -stderr -nrt -path "$plugins" -open "$patch" \
    >"$logs/lifecycle-$1.txt" 2>&1
}
start_job "create, run and delete in Pd 0.53.1" run_patch pd053
[ -x "$pd055" ] && start_job "create, run and delete in Pd 0.55.2" run_patch pd055

for i in "${!pids[@]}"; do
  wait "${pids[$i]}" || failed+=("${names[$i]}")
done

# The patch must really have run: every plug-in loaded and answered.
for pd in pd053 pd055; do
  out="$logs/lifecycle-$pd.txt"
  [ -e "$out" ] || continue
  for s in "${suites[@]}"; do
    grep -q "\[quill\] $s~:" "$out" || failed+=("$s~ did not load in $pd")
  done
  grep -q "reply: hslider /voice1/mellow/cutoff 500" "$out" || failed+=("no reply from mellow~ in $pd")
done

# Every valgrind report, whichever run it came from.
reports=0
bad=()
for log in "$logs"/pd05*.log; do
  [ -e "$log" ] || continue
  reports=$((reports + 1))
  grep -q "ERROR SUMMARY: 0 errors" "$log" || bad+=("$log")
done
echo "valgrind: $reports Pd runs, ${#bad[@]} with errors"
for log in "${bad[@]}"; do
  echo "== $log"
  grep -v "^==[0-9]*== *$" "$log" | head -120
done
for f in "${failed[@]}"; do
  echo "== failed: $f"
done
for t in "$logs"/suite-*.txt "$logs"/lifecycle-*.txt; do
  grep -q -e "^\[  FAILED" "$t" && grep -v "^\[ *\(RUN\|OK\) " "$t" | tail -60
done
for t in "$logs"/suite-*.txt; do
  grep -h -e "^\[  PASSED" -e "^\[  FAILED" -e "^\[  SKIPPED \] [0-9]" "$t" | sed "s|^|$(basename "$t" .txt): |"
done
[ "$reports" -gt 0 ] && [ ${#bad[@]} -eq 0 ] && [ ${#failed[@]} -eq 0 ]
