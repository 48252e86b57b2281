# 64-bit Arm under emulation (qemu-user): cross-builds everything with
# cmake/toolchain-aarch64-linux-gnu.cmake, runs the kernel, registry and
# adapter tests and an Arm flush-to-zero test under qemu-aarch64, the real-Pd
# integration tests in Debian's arm64 Pd 0.53.1, and renders one patch per
# plug-in on both machines to compare the recordings bit for bit; the same
# with the -64 modules in an arm64 Pd64 0.56 (scripts/arm64/build_pd64.sh),
# where the multichannel suite runs too.
# Folders: build-arm64 (cross), build-arm64-checks (cross, tests/arm64),
# build-arm64-x86 and build-arm64-checks-x86 (native), build-deps/arm64-sysroot,
# build-deps/arm64-pd64.
set -euo pipefail
cd "$QUILL_ROOT"
jobs=${QUILL_JOBS:-2}

"$QUILL_ROOT/scripts/install_missing.sh" "arm64" g++-aarch64-linux-gnu qemu-user googletest autoconf automake libtool xz-utils
scripts/arm64/fetch_sysroot.sh build-deps/arm64-sysroot
start=$(date +%s)
scripts/arm64/build_pd64.sh build-deps/arm64-pd64
echo "arm64: Pd64 for arm64 ready after $(( $(date +%s) - start )) s"

root=$PWD
cross_libs=/usr/aarch64-linux-gnu
pd_arm64=$root/scripts/arm64/pd-arm64
pd64_arm64=$root/scripts/arm64/pd64-arm64
pd_include=$QUILL_PD055/usr/include/pd
toolchain=$root/cmake/toolchain-aarch64-linux-gnu.cmake

echo "arm64: cross-building"
cmake -S . -B build-arm64 -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DQUILL_PD_INCLUDE_DIR="$pd_include" \
      -DQUILL_PD053="$pd_arm64" -DQUILL_PD051=/nonexistent -DQUILL_PD055=/nonexistent -DQUILL_PD057=/nonexistent \
      -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST >/dev/null
# Only what runs here: the plug-ins and the unit, registry, adapter and
# integration test programs (the differential tests and proofs would take
# too long under emulation; the recordings compared below cover Arm's bits).
targets=$(cmake --build build-arm64 --target help | sed -n 's/^\.\.\. //p' | cut -d' ' -f1 |
          grep -E '^(plugin_|plugin64_|test_kernel_|test_registry|test_adapter_|test_.*_in_pd$|test_pd_harness$)')
cmake --build build-arm64 -j"$jobs" --target $targets >/dev/null
cmake -S tests/arm64 -B build-arm64-checks -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DQUILL_PD_INCLUDE_DIR="$pd_include" >/dev/null
cmake --build build-arm64-checks -j"$jobs" >/dev/null
echo "arm64: native build for the comparison"
cmake -S . -B build-arm64-x86 -DQUILL_PD_INCLUDE_DIR="$pd_include" -DQUILL_BUILD_TESTS=OFF -DQUILL_PD64=OFF >/dev/null
cmake --build build-arm64-x86 -j"$jobs" >/dev/null
cmake -S tests/arm64 -B build-arm64-checks-x86 -DQUILL_PD_INCLUDE_DIR="$pd_include" >/dev/null
cmake --build build-arm64-checks-x86 -j"$jobs" >/dev/null

passed=0
failed=()
run() {  # run NAME COMMAND...: one test program, its summary line, and the count
  local name=$1 log
  shift
  log=$(mktemp)
  if "$@" >"$log" 2>&1; then
    passed=$((passed + 1))
    echo "  $name: $(grep -E '^\[  PASSED  \]' "$log" | tail -1)"
    grep -A5 '^NOTICE' "$log" || true
  else
    failed+=("$name")
    cat "$log"
    echo "  $name: FAILED"
  fi
  rm -f "$log"
}

echo "arm64: unit, registry and adapter tests under qemu-aarch64"
for t in build-arm64/tests/kernels/test_kernel_* build-arm64/tests/registry/test_registry* \
         build-arm64/tests/adapter/test_adapter_* build-arm64-checks/test_flush_to_zero_arm64; do
  [ -x "$t" ] && run "$(basename "$t")" qemu-aarch64 -L "$cross_libs" "$t" --gtest_brief=1
done

echo "arm64: integration tests, arm64 test programs in the emulated arm64 Pd 0.53.1"
for t in build-arm64/tests/integration/test_*; do
  [ -x "$t" ] && [ -f "$t" ] || continue
  run "$(basename "$t")" env QUILL_PD="$pd_arm64" QUILL_PLUGIN_DIR="$root/build-arm64/plugins" \
      QUILL_PD_MULTICHANNEL=0 qemu-aarch64 -L "$cross_libs" "$t" --gtest_brief=1
done

echo "arm64: the same patches on x86-64 and on arm64"
run test_same_bits_on_both_machines env \
    QUILL_PD_A="$root/scripts/arm64/pd-native" QUILL_PLUGIN_DIR_A="$root/build-arm64-x86/plugins" \
    QUILL_LIBM_REPLAY_A="$root/build-arm64-checks-x86/libm_replay.so" \
    QUILL_PD_B="$pd_arm64" QUILL_PLUGIN_DIR_B="$root/build-arm64/plugins" \
    QUILL_LIBM_REPLAY_B="$root/build-arm64-checks/libm_replay.so" \
    build-arm64-checks-x86/test_same_bits_on_both_machines --gtest_brief=1

echo "arm64: the same patches on x86-64 and, with the -64 modules, in the arm64 Pd64"
run test_same_bits_in_pd64 env \
    QUILL_PD_A="$root/scripts/arm64/pd-native" QUILL_PLUGIN_DIR_A="$root/build-arm64-x86/plugins" \
    QUILL_PD_B="$pd64_arm64" QUILL_PLUGIN_DIR_B="$root/build-arm64/plugins" QUILL_PD_FLOATSIZE_B=64 \
    build-arm64-checks-x86/test_same_bits_on_both_machines --gtest_brief=1
echo "arm64: multichannel -64 modules in the arm64 Pd64, each channel against a single-channel object"
run test_multichannel_in_pd64 env QUILL_PD="$pd64_arm64" QUILL_PLUGIN_DIR="$root/build-arm64/plugins" \
    QUILL_PD_MULTICHANNEL=1 qemu-aarch64 -L "$cross_libs" build-arm64/tests/integration/test_multichannel_in_pd --gtest_brief=1

echo "arm64: ${passed} passed, ${#failed[@]} failed"
[ ${#failed[@]} -eq 0 ]
