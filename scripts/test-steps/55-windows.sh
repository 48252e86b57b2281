# 64-bit Windows under Wine: builds Pd 0.53.1 for Windows from Debian's
# source (scripts/windows/build_pd.sh) and Pd64 0.56 from Pd's
# (scripts/windows/build_pd64.sh), cross-builds the four modules for each with
# cmake/toolchain-x86_64-w64-mingw32.cmake, checks what they import and
# export, checks that the adapter finds Pd's functions by name there
# (tests/windows), runs the real-Pd integration tests in Pd 0.53.1, and renders the
# arm64 comparison's patches in Linux Pd and in Windows Pd, and in Windows
# Pd64 with the -64 modules, to compare the recordings bit for bit; the
# multichannel suite runs in Pd64 too.
# Folders: build-windows and build-windows-checks (cross), build-windows-checks-x86 (native comparison
# program), build-windows-x86 (native tests, when step 10's build is absent),
# build-deps/windows-pd, build-deps/windows-pd64, build-deps/wine-prefix.
set -euo pipefail
cd "$QUILL_ROOT"
jobs=${QUILL_JOBS:-2}

"$QUILL_ROOT/scripts/install_missing.sh" "windows" g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine64 wine autoconf automake libtool xz-utils

root=$PWD
windows_pd=$root/build-deps/windows-pd
windows_pd64=$root/build-deps/windows-pd64
pd_windows=$root/scripts/windows/pd-windows
pd64_windows=$root/scripts/windows/pd64-windows
start=$(date +%s)
scripts/windows/build_pd.sh "$windows_pd"
echo "windows: Pd for Windows ready after $(( $(date +%s) - start )) s"
start=$(date +%s)
scripts/windows/build_pd64.sh "$windows_pd64"
echo "windows: Pd64 for Windows ready after $(( $(date +%s) - start )) s"

echo "windows: cross-building"
cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-w64-mingw32.cmake" \
      -DQUILL_PD_INCLUDE_DIR="$windows_pd/include" -DQUILL_PD_WINDOWS_LIB="$windows_pd/bin/pd.lib" \
      -DQUILL_PD64_WINDOWS_LIB="$windows_pd64/bin/pd64.lib" -DQUILL_BUILD_TESTS=OFF >/dev/null
cmake --build build-windows -j"$jobs" >/dev/null
cmake -S tests/windows -B build-windows-checks -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-w64-mingw32.cmake" \
      -DQUILL_PD_INCLUDE_DIR="$windows_pd/include" -DQUILL_PD_WINDOWS_LIB="$windows_pd/bin/pd.lib" >/dev/null
cmake --build build-windows-checks -j"$jobs" >/dev/null

# The Linux side: step 10's build when it is there, else a build of its own.
bin=$root/build
suites=(zigzag mellow klaxon leveler blocks_and_rates)
for s in "${suites[@]}" multichannel; do
  [ -x "$bin/tests/integration/test_${s}_in_pd" ] || bin=$root/build-windows-x86
done
for o in zigzag mellow klaxon leveler; do
  [ -e "$bin/plugins/$o~.l_amd64" ] || bin=$root/build-windows-x86
done
if [ "$bin" = "$root/build-windows-x86" ]; then
  echo "windows: native build of the integration tests"
  cmake -S . -B "$bin" -DQUILL_PD_INCLUDE_DIR="$windows_pd/include" >/dev/null
  cmake --build "$bin" -j"$jobs" --target $(printf 'test_%s_in_pd ' "${suites[@]}" multichannel) >/dev/null
fi
cmake -S tests/arm64 -B build-windows-checks-x86 -DQUILL_PD_INCLUDE_DIR="$windows_pd/include" >/dev/null
cmake --build build-windows-checks-x86 -j"$jobs" --target test_same_bits_on_both_machines >/dev/null

passed=0
failed=()
check() {  # check NAME CONDITION...: a shell test, counted
  local name=$1
  shift
  if "$@"; then passed=$((passed + 1)); echo "  $name: ok"; else failed+=("$name"); echo "  $name: FAILED"; fi
}
run() {  # run NAME COMMAND...: one test program, its summary line, and the count
  local name=$1 log
  shift
  log=$(mktemp)
  if "$@" >"$log" 2>&1; then
    passed=$((passed + 1))
    echo "  $name: $(grep -E '^\[  PASSED  \]' "$log" | tail -1)"
  else
    failed+=("$name")
    cat "$log"
    echo "  $name: FAILED"
  fi
  rm -f "$log"
}

echo "windows: what the modules import and export"
imports_ok() {  # MODULE PD-DLL: only that Pd's and Windows' own DLLs
  local dlls
  dlls=$(x86_64-w64-mingw32-objdump -p "$1" | sed -n 's/^\tDLL Name: //p' | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
  [ "$dlls" = "kernel32.dll msvcrt.dll $2 " ] || { echo "    $1 imports: $dlls"; return 1; }
}
exports_ok() {  # the setup entry and nothing else
  local names
  names=$(x86_64-w64-mingw32-objdump -p "$1" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
          sed -n 's/^\t\[ *[0-9]*\] //p' | tr '\n' ' ')
  [ "$names" = "$2 " ] || { echo "    $1 exports: $names"; return 1; }
}
for o in zigzag mellow klaxon leveler; do
  module=build-windows/plugins/$o~.m_amd64
  check "$o~.m_amd64 imports only pd.dll, KERNEL32.dll and msvcrt.dll" imports_ok "$module" pd.dll
  check "$o~.m_amd64 exports only ${o}_tilde_setup" exports_ok "$module" "${o}_tilde_setup"
  module=build-windows/plugins/$o~.windows-amd64-64.dll
  check "$o~.windows-amd64-64.dll imports only pd64.dll, KERNEL32.dll and msvcrt.dll" imports_ok "$module" pd64.dll
  check "$o~.windows-amd64-64.dll exports only ${o}_tilde_setup" exports_ok "$module" "${o}_tilde_setup"
done

# One Wine server for every run; stopped however the step ends.
scripts/windows/wine-session.sh start
trap 'scripts/windows/wine-session.sh stop' EXIT

echo "windows: Pd's functions found by name (GetModuleHandleEx, GetProcAddress)"
quit_patch=$(mktemp -d)
printf '#N canvas 0 0 100 100 12;\n#X obj 10 10 loadbang;\n#X msg 10 40 \\; pd quit;\n#X connect 0 0 1 0;\n' \
  >"$quit_patch/quit.pd"
probe=$(timeout 60 "$pd_windows" -nogui -nosound -batch -noprefs -stderr -path "$root/build-windows-checks" \
          -lib host_lookup_probe -open "$quit_patch/quit.pd" 2>&1 | tr -d '\r' || true)
rm -rf "$quit_patch"
for line in "class_new found" "post found" "signal_setmultiout missing" "no_such_pd_function missing"; do
  check "host_lookup_probe: $line (Pd 0.53.1)" grep -qx "host_lookup_probe: $line" <<<"$probe"
done

echo "windows: integration tests, Linux test programs driving Windows Pd 0.53.1 under Wine"
for s in "${suites[@]}"; do
  run "test_${s}_in_pd" env QUILL_PD="$pd_windows" QUILL_PLUGIN_DIR="$root/build-windows/plugins" \
      QUILL_PD_MULTICHANNEL=0 "$bin/tests/integration/test_${s}_in_pd" --gtest_brief=1
done

echo "windows: the same patches in Linux Pd and in Windows Pd"
run test_same_bits_on_both_machines env \
    QUILL_PD_A="$root/scripts/arm64/pd-native" QUILL_PLUGIN_DIR_A="$bin/plugins" \
    QUILL_PD_B="$pd_windows" QUILL_PLUGIN_DIR_B="$root/build-windows/plugins" \
    build-windows-checks-x86/test_same_bits_on_both_machines --gtest_brief=1

echo "windows: the same patches in Linux Pd and, with the -64 modules, in Windows Pd64"
run test_same_bits_in_pd64 env \
    QUILL_PD_A="$root/scripts/arm64/pd-native" QUILL_PLUGIN_DIR_A="$bin/plugins" \
    QUILL_PD_B="$pd64_windows" QUILL_PLUGIN_DIR_B="$root/build-windows/plugins" QUILL_PD_FLOATSIZE_B=64 \
    build-windows-checks-x86/test_same_bits_on_both_machines --gtest_brief=1
echo "windows: multichannel -64 modules in Windows Pd64, each channel against a single-channel object"
run test_multichannel_in_pd64 env QUILL_PD="$pd64_windows" QUILL_PLUGIN_DIR="$root/build-windows/plugins" \
    QUILL_PD_MULTICHANNEL=1 "$bin/tests/integration/test_multichannel_in_pd" --gtest_brief=1

echo "windows: ${passed} passed, ${#failed[@]} failed${failed:+: ${failed[*]}}"
[ ${#failed[@]} -eq 0 ]
