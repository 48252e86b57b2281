# libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer: every
# plug-in's adapter and kernel in-process against the host double of Pd.
# First every committed input (fuzz/regressions/, fuzz/corpus/) is replayed,
# then each target fuzzes for QUILL_FUZZ_SECONDS (default 40) from the
# committed corpus, QUILL_JOBS targets at a time. New inputs stay in the build
# folder; a crash input is kept in build-fuzz/crashes/ and fails the step
# (add it to fuzz/regressions/<plugin>/ once its cause is fixed).
set -euo pipefail
cd "$QUILL_ROOT"

# Debian's clang with its runtime libraries (libFuzzer, the sanitizers).
missing=()
command -v clang++ >/dev/null || missing+=(clang)
ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-*.a >/dev/null 2>&1 || missing+=(libclang-rt-dev)
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

build=build-fuzz
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DQUILL_PD_INCLUDE_DIR="$QUILL_PD055/usr/include/pd" -DQUILL_FUZZ=ON -DQUILL_SANITIZE=ON \
      -DQUILL_BUILD_PLUGINS=OFF -DQUILL_BUILD_TESTS=OFF -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
cmake --build "$build" -j"$QUILL_JOBS" --target fuzz_zigzag fuzz_mellow fuzz_klaxon fuzz_leveler

plugins=(zigzag mellow klaxon leveler)
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# Every committed input once (the tests live in the fuzz folder's CTest file).
failed=()
(cd "$build/fuzz" && ctest --output-on-failure -L fuzz) || failed+=("replay of committed inputs")

seconds=${QUILL_FUZZ_SECONDS:-40}
rm -rf "$build/crashes" "$build/logs"
mkdir -p "$build/crashes" "$build/logs"
fuzz_one() {
  local p=$1
  mkdir -p "$build/corpus/$p"
  "$build/fuzz/fuzz_$p" -max_total_time="$seconds" -max_len=4096 -timeout=20 -rss_limit_mb=3072 \
    -print_final_stats=1 -artifact_prefix="$build/crashes/$p-" \
    "$build/corpus/$p" "fuzz/corpus/$p" >"$build/logs/$p.log" 2>&1
}
pids=()
names=()
for p in "${plugins[@]}"; do
  fuzz_one "$p" &
  pids+=($!)
  names+=("$p")
  if [ ${#pids[@]} -ge "$QUILL_JOBS" ]; then
    wait "${pids[0]}" || failed+=("${names[0]}")
    pids=("${pids[@]:1}")
    names=("${names[@]:1}")
  fi
done
for i in "${!pids[@]}"; do
  wait "${pids[$i]}" || failed+=("${names[$i]}")
done

for p in "${plugins[@]}"; do
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$build/logs/$p.log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$build/logs/$p.log")
  echo "fuzz_$p: ${runs:-?} inputs, ${rate:-?}/s, corpus $(ls "$build/corpus/$p" | wc -l) new + $(ls "fuzz/corpus/$p" | wc -l) seeds"
done
if [ ${#failed[@]} -gt 0 ]; then
  for p in "${failed[@]}"; do
    [ -e "$build/logs/$p.log" ] || { echo "== failed: $p"; continue; }
    echo "== fuzz_$p found a fault:"
    grep -v -e '^#' -e '^INFO' "$build/logs/$p.log" | tail -60
  done
  ls -l "$build/crashes"
  exit 1
fi
