#!/usr/bin/env bash
# Builds the quill library for every platform it ships on (Linux x86-64,
# Linux 64-bit Arm, Windows x86-64), each for single- and double-precision Pd,
# and packs all of them into one deken archive for Pd's package manager:
#   out/quill[vVERSION](Linux-amd64-32)(Linux-amd64-64)(Linux-arm64-32)(Linux-arm64-64)(Windows-amd64-32)(Windows-amd64-64).dek
# with its .sha256 and its objects list (.dek.txt). Installs what it needs
# on a Debian machine, like the other scripts.
# All modules build against Pd 0.53.1's header: they load in Pd 0.53 and
# later, and leveler~ finds multichannel signals at run time where Pd has them.
# Folders: build-pkg-linux-amd64, build-pkg-linux-arm64, build-pkg-windows-amd64,
# build-deps/windows-pd and build-deps/windows-pd64 (Pd's and Pd64's import
# libraries for Windows), build-deps/deken.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${QUILL_JOBS:-$(nproc)}

packages=(g++ cmake make puredata-dev g++-aarch64-linux-gnu g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
          autoconf automake libtool xz-utils python3 python3-funcparserlib python3-pyelftools python3-macholib
          python3-pefile)
"$root/scripts/install_missing.sh" "package" "${packages[@]}"
packaging/fetch_deken.sh "$root/build-deps/deken"
scripts/windows/build_pd.sh "$root/build-deps/windows-pd"
scripts/windows/build_pd64.sh "$root/build-deps/windows-pd64"

header=/usr/include/pd
# build ARCH CMAKE-OPTIONS...: the four modules for each precision, stripped,
# in build-pkg-ARCH/stripped/quill
build() {
  local arch=$1 dir=build-pkg-$1
  shift
  echo "package: building for $arch"
  cmake -S . -B "$dir" -DQUILL_PD_INCLUDE_DIR="$header" -DQUILL_BUILD_TESTS=OFF "$@" >/dev/null
  cmake --build "$dir" -j"$jobs" --target plugin_klaxon plugin_leveler plugin_mellow plugin_zigzag \
    plugin64_klaxon plugin64_leveler plugin64_mellow plugin64_zigzag >/dev/null
  rm -rf "$dir/stripped"
  cmake --install "$dir" --prefix "$dir/stripped" --strip >/dev/null
}
build windows-amd64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-x86_64-w64-mingw32.cmake" \
      -DQUILL_PD_WINDOWS_LIB="$root/build-deps/windows-pd/bin/pd.lib" \
      -DQUILL_PD64_WINDOWS_LIB="$root/build-deps/windows-pd64/bin/pd64.lib"
build linux-arm64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-aarch64-linux-gnu.cmake"
build linux-amd64

# The other architectures' modules join the native build's plug-in folder,
# whose install (and so its deken target) takes every module found there.
native=build-pkg-linux-amd64
for o in klaxon leveler mellow zigzag; do
  cp build-pkg-linux-arm64/stripped/quill/"$o~".{l_arm64,linux-arm64-64.so} \
     build-pkg-windows-amd64/stripped/quill/"$o~".{m_amd64,windows-amd64-64.dll} "$native/plugins/"
done
cmake --build "$native" --target deken >/dev/null

rm -f out/*.dek out/*.dek.*
mkdir -p out
cp "$native"/deken/*.dek "$native"/deken/*.dek.sha256 "$native"/deken/*.dek.txt out/
archive=$(ls out/*.dek)
echo "package: $archive ($(stat -c %s "$archive") bytes)"
