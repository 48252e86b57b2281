# Install layout, the deken archive, and the objects working from the
# unpacked archive in real Pd (integration tests of mellow~, patches that
# reach the library by [declare -path quill] and by quill/NAME). Then the
# archive of every platform and precision that scripts/package.sh makes,
# unpacked into a fresh folder, in Linux Pd, in the emulated arm64 Pd and in
# Windows Pd, and its -64 modules in sid's libpd64 (tests/libpd/open_patch),
# the emulated arm64 Pd64 and Windows Pd64.
set -euo pipefail
cd "$QUILL_ROOT"

# What deken needs beyond setup.sh: Debian's Python 3 with the modules it
# imports; deken itself and Hy come unpacked from Debian trixie. qemu and
# Wine run the other platforms' Pd (scripts/package.sh installs the rest).
packages=(python3 python3-funcparserlib python3-pyelftools python3-macholib qemu-user wine64 wine)
"$QUILL_ROOT/scripts/install_missing.sh" "package step" "${packages[@]}"
packaging/fetch_deken.sh "$QUILL_ROOT/build-deps/deken"

build=$QUILL_ROOT/build-pkg
cmake -S . -B "$build" -DQUILL_PD_INCLUDE_DIR="$QUILL_PD055/usr/include/pd" >/dev/null
cmake --build "$build" -j"$QUILL_JOBS" --target plugin_klaxon plugin_leveler plugin_mellow plugin_zigzag \
  plugin64_klaxon plugin64_leveler plugin64_mellow plugin64_zigzag test_mellow_in_pd

tmp=$(mktemp -d)
wine_started=0
trap '[ $wine_started = 1 ] && scripts/windows/wine-session.sh stop; rm -rf "$tmp"' EXIT
failures=0
passes=0
pass() { passes=$((passes + 1)); echo "ok: $1"; }
fail() { failures=$((failures + 1)); echo "FAILED: $1"; }

case "$(uname -m)" in
  x86_64) suffix=.l_amd64; cpu=amd64 ;;
  aarch64|arm64) suffix=.l_arm64; cpu=arm64 ;;
  *) suffix=.pd_linux; cpu=$(uname -m) ;;
esac
objects=(klaxon leveler mellow zigzag)
project_version=$(sed -n 's/^project(quill VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

# The files the library folder must hold, one per line, sorted.
expected_layout() {
  {
    echo quill/LICENSE; echo quill/README.md; echo quill/quill-meta.pd
    for o in "${objects[@]}"; do echo "quill/$o~$suffix"; echo "quill/$o~.linux-$cpu-64.so"; done
    for h in help/*-help.pd; do [ -e "$h" ] && echo "quill/$(basename "$h")"; done
    find docs/pictures -name '*.png' | sed 's|^|quill/|'
  } | LC_ALL=C sort
}
layout_of() { (cd "$1" && find . -type f | sed 's|^\./||' | LC_ALL=C sort); }

# --- default and chosen install prefix -----------------------------------
mkdir -p "$tmp/fakehome"
HOME=$tmp/fakehome cmake -S . -B "$tmp/prefix-default" -DQUILL_BUILD_TESTS=OFF -DQUILL_BUILD_PLUGINS=OFF >/dev/null
if grep -qF "set(CMAKE_INSTALL_PREFIX \"$tmp/fakehome/.local/lib/pd/extra\")" "$tmp/prefix-default/cmake_install.cmake"; then
  pass "default prefix is the user's Pd folder ~/.local/lib/pd/extra"
else
  fail "default prefix: $(grep -m1 'set(CMAKE_INSTALL_PREFIX' "$tmp/prefix-default/cmake_install.cmake")"
fi
HOME=$tmp/fakehome cmake -S . -B "$tmp/prefix-chosen" -DQUILL_BUILD_TESTS=OFF -DQUILL_BUILD_PLUGINS=OFF \
  -DCMAKE_INSTALL_PREFIX="$tmp/chosen" >/dev/null
if grep -qF "set(CMAKE_INSTALL_PREFIX \"$tmp/chosen\")" "$tmp/prefix-chosen/cmake_install.cmake"; then
  pass "a prefix given at configure time is kept"
else
  fail "chosen prefix was replaced"
fi

# --- install layout --------------------------------------------------------
cmake --install "$build" --prefix "$tmp/prefix" >/dev/null
if [ "$(layout_of "$tmp/prefix")" = "$(expected_layout)" ]; then
  pass "install layout: $(expected_layout | tr '\n' ' ')"
else
  fail "install layout differs:"; diff <(expected_layout) <(layout_of "$tmp/prefix") || true
fi
same=1
cmp -s LICENSE "$tmp/prefix/quill/LICENSE" || same=0
cmp -s README.md "$tmp/prefix/quill/README.md" || same=0
cmp -s packaging/quill-meta.pd "$tmp/prefix/quill/quill-meta.pd" || same=0
for o in "${objects[@]}"; do
  for s in "$suffix" ".linux-$cpu-64.so"; do cmp -s "$build/plugins/$o~$s" "$tmp/prefix/quill/$o~$s" || same=0; done
done
for h in help/*-help.pd; do [ -e "$h" ] && { cmp -s "$h" "$tmp/prefix/quill/$(basename "$h")" || same=0; }; done
[ $same = 1 ] && pass "installed files are the built and written ones" || fail "installed files differ from their sources"
# Every picture the README shows is there beside it.
readme_pictures_present() {  # FOLDER
  local link missing=0
  while read -r link; do
    [ -f "$1/$link" ] || { echo "missing: $link"; missing=1; }
  done < <(grep -o '](docs/[^)]*\.png)' "$1/README.md" | sed 's/^](//; s/)$//')
  [ "$missing" = 0 ] && [ -n "$(grep -o '](docs/[^)]*\.png)' "$1/README.md")" ]
}
readme_pictures_present "$tmp/prefix/quill" && pass "the installed README's pictures are installed beside it" \
  || fail "the installed README links pictures that are not installed"
DESTDIR=$tmp/destdir cmake --install "$build" --prefix /opt/pd >/dev/null
if [ "$(layout_of "$tmp/destdir/opt/pd")" = "$(expected_layout)" ]; then
  pass "DESTDIR staging holds the same layout"
else
  fail "DESTDIR staging differs"; diff <(expected_layout) <(layout_of "$tmp/destdir/opt/pd") || true
fi

# --- deken archive, packed without network --------------------------------
offline=()
if unshare -n true 2>/dev/null; then offline=(unshare -n)
elif unshare -rn true 2>/dev/null; then offline=(unshare -rn); fi
"${offline[@]}" cmake --build "$build" --target deken
archive="$build/deken/quill[v$project_version](Linux-$cpu-32)(Linux-$cpu-64).dek"
if [ -f "$archive" ] && [ "$(ls "$build"/deken/*.dek | wc -l)" = 1 ]; then
  pass "deken archive $(basename "$archive")${offline:+ (packed with no network)}"
else
  fail "deken archive: found $(ls "$build"/deken/ | tr '\n' ' ')"
fi
if [ "$(cat "$archive.sha256" 2>/dev/null)" = "$(sha256sum "$archive" | cut -d' ' -f1)" ]; then
  pass "deken checksum file matches the archive"
else
  fail "deken checksum file"
fi
if cmp -s packaging/quill-objects.tsv "$archive.txt"; then
  pass "deken objects file lists klaxon~ leveler~ mellow~ zigzag~ with their descriptions"
else
  fail "deken objects file differs from packaging/quill-objects.tsv"
fi

# Unpacked where Pd's package manager puts libraries: the user's Pd folder.
home=$tmp/home
extra=$home/.local/lib/pd/extra
mkdir -p "$extra" "$tmp/emptyhome"
(cd "$extra" && cmake -E tar xf "$archive")
if [ "$(layout_of "$extra")" = "$(expected_layout)" ]; then
  pass "unpacked archive has the install layout"
else
  fail "unpacked archive layout differs:"; diff <(expected_layout) <(layout_of "$extra") || true
fi
readme_pictures_present "$extra/quill" && pass "the README in the archive finds its pictures" \
  || fail "the README in the archive links pictures the archive lacks"


# --- the plug-ins in real Pd, loaded from the unpacked folder ---------------
pds=(/usr/bin/pd)
[ -x "$QUILL_PD055/usr/lib/puredata/bin/pd" ] && pds+=("$QUILL_PD055/usr/lib/puredata/bin/pd")
for pd in "${pds[@]}"; do
  multichannel=0
  [ "$pd" != /usr/bin/pd ] && multichannel=1
  version=$("$pd" -version 2>&1 | head -1 | cut -d' ' -f1)
  if HOME=$tmp/emptyhome QUILL_PD=$pd QUILL_PLUGIN_DIR=$extra/quill QUILL_PD_MULTICHANNEL=$multichannel \
       "$build/tests/integration/test_mellow_in_pd" --gtest_brief=1 >"$tmp/gtest.log" 2>&1; then
    pass "$version: mellow~ integration tests from the unpacked archive ($(grep -o '[0-9]* tests\? from [0-9]* test suites\? ran' "$tmp/gtest.log"))"
  else
    fail "$version: mellow~ integration tests from the unpacked archive"; cat "$tmp/gtest.log"
  fi
done

mkdir -p "$tmp/patches"
# A patch with the four objects, each named NAME~ after [declare -path quill]
# or quill/NAME~; it quits once loaded.
write_patch() {  # FILE PREFIX DECLARE(0|1)
  {
    echo "#N canvas 0 0 400 300 12;"
    if [ "$3" = 1 ]; then echo "#X declare -path quill;"; echo "#X obj 200 10 declare -path quill;"; fi
    local y=10
    for o in "${objects[@]}"; do echo "#X obj 10 $y $2$o~;"; y=$((y + 30)); done
    echo "#X obj 10 $y loadbang;"
    echo "#X msg 10 $((y + 30)) \\; pd quit;"
    local first=$(( ${#objects[@]} + ($3 == 1 ? 1 : 0) ))
    echo "#X connect $first 0 $((first + 1)) 0;"
  } >"$1"
}
write_patch "$tmp/patches/declared.pd" "" 1
write_patch "$tmp/patches/prefixed.pd" "quill/" 0

run_patch() {  # HOME PD PATCH PD-FLAGS...
  local h=$1 pd=$2 patch=$3; shift 3
  HOME=$h timeout 60 "$pd" -nogui -nosound -batch -noprefs -stderr -nrt "$@" -open "$patch" 2>&1 || true
}
# Every object printed its load line and nothing failed to create.
all_created() {
  local out=$1 o
  grep -q "couldn't create" <<<"$out" && return 1
  for o in "${objects[@]}"; do grep -qF "[quill] $o~:" <<<"$out" || return 1; done
}
for pd in "${pds[@]}"; do
  version=$("$pd" -version 2>&1 | head -1 | cut -d' ' -f1)
  out=$(run_patch "$home" "$pd" "$tmp/patches/declared.pd")
  all_created "$out" && pass "$version: [declare -path quill] finds the objects in the user's Pd folder" \
                     || { fail "$version: [declare -path quill]"; echo "$out"; }
  out=$(run_patch "$home" "$pd" "$tmp/patches/prefixed.pd")
  all_created "$out" && pass "$version: [quill/mellow~] and the others create from the user's Pd folder" \
                     || { fail "$version: quill/NAME~ from the user's Pd folder"; echo "$out"; }
  out=$(run_patch "$tmp/emptyhome" "$pd" "$tmp/patches/prefixed.pd" -nostdpath -path "$extra")
  all_created "$out" && pass "$version: quill/NAME~ with -nostdpath -path to the unpacked folder's parent" \
                     || { fail "$version: quill/NAME~ with -path"; echo "$out"; }
  out=$(run_patch "$tmp/emptyhome" "$pd" "$tmp/patches/prefixed.pd" -nostdpath -path "$tmp/prefix")
  all_created "$out" && pass "$version: quill/NAME~ from the --prefix install" \
                     || { fail "$version: quill/NAME~ from the --prefix install"; echo "$out"; }
  # Control: with no quill folder anywhere Pd looks, the same patch fails.
  out=$(run_patch "$tmp/emptyhome" "$pd" "$tmp/patches/declared.pd")
  [ "$(grep -c "couldn't create" <<<"$out")" = "${#objects[@]}" ] \
    && pass "$version: control: without the library every object fails to create" \
    || { fail "$version: control run found objects it should not"; echo "$out"; }
done

# --- one archive for every platform ------------------------------------------
if QUILL_JOBS=$QUILL_JOBS scripts/package.sh >"$tmp/package.log" 2>&1; then
  pass "scripts/package.sh: $(tail -1 "$tmp/package.log" | sed 's/^package: //')"
else
  fail "scripts/package.sh"; cat "$tmp/package.log"
fi
all="out/quill[v$project_version](Linux-amd64-32)(Linux-amd64-64)(Linux-arm64-32)(Linux-arm64-64)(Windows-amd64-32)(Windows-amd64-64).dek"
if [ -f "$all" ] && [ "$(ls out/*.dek | wc -l)" = 1 ]; then
  pass "one archive names every architecture: $(basename "$all")"
else
  fail "multi-platform archive: out/ holds $(ls out | tr '\n' ' ')"
fi
if [ "$(cat "$all.sha256" 2>/dev/null)" = "$(sha256sum "$all" | cut -d' ' -f1)" ]; then
  pass "its checksum file matches"
else
  fail "checksum file of the multi-platform archive"
fi
cmp -s packaging/quill-objects.tsv "$all.txt" && pass "its objects file lists the four objects" \
                                             || fail "objects file of the multi-platform archive"
fresh=$tmp/fresh
mkdir -p "$fresh" "$tmp/nothing"
(cd "$fresh" && cmake -E tar xf "$QUILL_ROOT/$all")
expected_all() {
  {
    echo quill/LICENSE; echo quill/README.md; echo quill/quill-meta.pd
    for o in "${objects[@]}"; do
      for s in .l_amd64 .l_arm64 .m_amd64 .linux-amd64-64.so .linux-arm64-64.so .windows-amd64-64.dll; do
        echo "quill/$o~$s"
      done
    done
    for h in help/*-help.pd; do [ -e "$h" ] && echo "quill/$(basename "$h")"; done
    find docs/pictures -name '*.png' | sed 's|^|quill/|'
  } | LC_ALL=C sort
}
if [ "$(layout_of "$fresh")" = "$(expected_all)" ]; then
  pass "unpacked, it holds the modules of all three platforms in both precisions beside one set of help patches and pictures"
else
  fail "multi-platform archive layout differs:"; diff <(expected_all) <(layout_of "$fresh") || true
fi

# The README's manual install of that archive, as a user does it, in every
# Pd version the integration suites run in.
if tests/install/install_as_a_user.sh "$all" /usr/bin/pd "$QUILL_PD055/usr/lib/puredata/bin/pd" \
     build-deps/pd051/usr/lib/puredata/bin/pd scripts/pd057.sh >"$tmp/user.log" 2>&1; then
  pass "the README's install: unzipped into a Pd folder, a first patch sounds ($(grep -c '^ok' "$tmp/user.log") checks)"
else
  fail "the README's install, done as a user would:"; cat "$tmp/user.log"
fi

scripts/arm64/fetch_sysroot.sh "$QUILL_ROOT/build-deps/arm64-sysroot" >/dev/null
scripts/arm64/build_pd64.sh "$QUILL_ROOT/build-deps/arm64-pd64" >/dev/null
# Sid's libpd64 has no pd program: a small host opens the patch in it.
sid=$QUILL_ROOT/build-deps/sid/usr
g++ -std=c++17 -O1 -Wall -Wextra -Werror -DPD_FLOATSIZE=64 -I"$sid/include/pd" tests/libpd/open_patch.cpp \
    -o "$tmp/open_patch64" "$sid/lib/x86_64-linux-gnu/libpd64.so.0" -Wl,--unresolved-symbols=ignore-in-shared-libs
export QUILL_OPEN_PATCH64=$tmp/open_patch64
scripts/windows/wine-session.sh start
wine_started=1
platforms=("Linux Pd 0.53.1:/usr/bin/pd")
[ -x "$QUILL_PD055/usr/lib/puredata/bin/pd" ] && platforms+=("Linux Pd 0.55.2:$QUILL_PD055/usr/lib/puredata/bin/pd")
platforms+=("arm64 Pd 0.53.1 (emulated):$QUILL_ROOT/scripts/arm64/pd-arm64"
            "Windows Pd 0.53.1 (Wine):$QUILL_ROOT/scripts/windows/pd-windows"
            "Linux libpd64 0.57.0 (sid):$QUILL_ROOT/tests/libpd/libpd64-pd"
            "arm64 Pd64 0.56 (emulated):$QUILL_ROOT/scripts/arm64/pd64-arm64"
            "Windows Pd64 0.56 (Wine):$QUILL_ROOT/scripts/windows/pd64-windows")
for entry in "${platforms[@]}"; do
  label=${entry%%:*}
  pd=${entry#*:}
  out=$(run_patch "$tmp/emptyhome" "$pd" "$tmp/patches/prefixed.pd" -nostdpath -path "$fresh")
  all_created "$out" && pass "$label: every object created from the unpacked multi-platform archive" \
                     || { fail "$label: objects from the multi-platform archive"; echo "$out"; }
  # Control: the same Pd with an empty folder instead creates none.
  out=$(run_patch "$tmp/emptyhome" "$pd" "$tmp/patches/prefixed.pd" -nostdpath -path "$tmp/nothing")
  [ "$(grep -c "couldn't create" <<<"$out")" = "${#objects[@]}" ] \
    && pass "$label: control: with an empty folder every object fails to create" \
    || { fail "$label: control run found objects it should not"; echo "$out"; }
done

echo "package: $passes checks passed, $failures failed"
[ "$failures" = 0 ]
