# quill's modules in Debian sid's multi-instance libpd 0.57, single and
# double precision (tests/libpd): four instances on four threads, each
# bit-identical to one instance alone, replies routed in each, objects
# created and deleted and DSP restarted in one while the others run; the
# call counter preloaded to catch any allocation, lock or system call from
# quill on the audio threads; libpd64's output compared with the
# single-precision one. Then a shorter run of each host under valgrind's drd:
# no report may lie in quill's code (libpd's own unguarded sched_counter++ in
# sched_tick is reported and tolerated).
set -euo pipefail
cd "$QUILL_ROOT"
export QUILL_SID="$QUILL_ROOT/build-deps/sid"
sid_lib="$QUILL_SID/usr/lib/x86_64-linux-gnu"
[ -x "$sid_lib/ld-linux-x86-64.so.2" ] || scripts/fetch_pd_hosts.sh "$QUILL_ROOT/build-deps" >/dev/null

# The modules step 10 built, both precisions; built here when missing.
plugins="$QUILL_ROOT/build/plugins"
for s in klaxon mellow zigzag leveler; do
  [ -e "$plugins/$s~.l_amd64" ] && [ -e "$plugins/$s~.linux-amd64-64.so" ] || plugins=""
done
if [ -z "$plugins" ]; then
  cmake -S . -B build-libpd-plugins -DQUILL_BUILD_TESTS=OFF -DQUILL_PD_INCLUDE_DIR="$QUILL_PD055/usr/include/pd" >/dev/null
  cmake --build build-libpd-plugins -j"$QUILL_JOBS" --target \
    $(for s in klaxon mellow zigzag leveler; do printf 'plugin_%s plugin64_%s ' "$s" "$s"; done)
  plugins="$QUILL_ROOT/build-libpd-plugins/plugins"
fi
export QUILL_PLUGIN_DIR="$plugins"

# A multi-instance Pd has no static symbols (s_signal, s_bang ...) to
# resolve: no module may need one.
for module in "$plugins"/*~.l_amd64 "$plugins"/*~.linux-amd64-64.so; do
  if nm -D --undefined-only "$module" | grep -E ' s_[a-z_]*$'; then
    echo "== $module needs Pd's static symbols above"; exit 1
  fi
done

work="$QUILL_ROOT/build-libpd"
cmake -S tests/libpd -B "$work" -DQUILL_SID="$QUILL_SID" >/dev/null
cmake --build "$work" -j"$QUILL_JOBS" --target quill_call_counter test_libpd_host test_libpd64_host
logs="$work/logs"
rm -rf "$logs"
mkdir -p "$logs"

counter="$work/libquill_call_counter.so"
QUILL_LIBPD_REFERENCE_OUT="$logs/single.f32" \
  scripts/sid_run.sh --preload "$counter" "$work/test_libpd_host"
QUILL_LIBPD_SINGLE_REFERENCE="$logs/single.f32" \
  scripts/sid_run.sh --preload "$counter" "$work/test_libpd64_host"

# Under drd: one round of 450 blocks (the churn's creation, messages,
# restarts and deletion included), without the counter.
if ! command -v valgrind >/dev/null; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends valgrind >/dev/null
fi
failed=0
for host in test_libpd_host test_libpd64_host; do
  log="$logs/drd-$host.log"
  QUILL_LIBPD_BLOCKS=450 QUILL_LIBPD_ROUNDS=1 \
    valgrind --tool=drd --fullpath-after= --num-callers=30 --log-file="$log" \
    "$sid_lib/ld-linux-x86-64.so.2" --library-path "$sid_lib:/lib/x86_64-linux-gnu:/usr/lib/x86_64-linux-gnu" \
    "$work/$host" --gtest_filter='*FourInstances*' >"$logs/drd-$host.txt" 2>&1 || {
      echo "== $host under drd failed"; tail -40 "$logs/drd-$host.txt"; failed=1; }
  # A report is quill's when the stack of the access it reports runs through
  # quill's sources or modules.
  if ! awk '
    function flush() { if (hit) { quill++; printf "%s", chunk } else if (frames) other++
                       chunk = ""; frames = 0; done = 0; hit = 0 }
    /^==[0-9]+== *$/ { flush(); next }
    {
      chunk = chunk $0 "\n"
      line = $0; sub(/^==[0-9]+== /, "", line)
      if (line ~ /^ +(at|by) 0x/) {
        if (!done) { frames++; if (line ~ /\/(adapter|kernels|interface)\/[^ ]*:[0-9]+\)|~\.(l_amd64|linux-amd64-64\.so)\)/) hit = 1 }
      } else if (frames) done = 1
    }
    END { flush(); printf "drd: %d reports in quill'"'"'s code, %d elsewhere\n", quill, other; exit quill > 0 }
  ' "$log"; then
    failed=1
  fi
done
exit $failed
