#!/usr/bin/env bash
# Cross-builds a double-precision Pd (Pd64) 0.56 for 64-bit Arm Linux from
# Pd's own source (scripts/unpack_pd056_source.sh) with g++-aarch64-linux-gnu,
# without audio or MIDI back ends: for batch runs under qemu-aarch64 (pd64-arm64).
# Usage: build_pd64.sh [DEST]   (default: build-deps/arm64-pd64)
# Then: DEST/bin/pd (needs only the C library: qemu-aarch64 -L SYSROOT).
# Needs (Debian packages): gcc-aarch64-linux-gnu autoconf automake libtool.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dest=${1:-$root/build-deps/arm64-pd64}
stamp="$dest/.quill-arm64-pd64"
if [ -x "$dest/bin/pd" ] && [ "$(cat "$stamp" 2>/dev/null)" = "0.56-5" ]; then
  exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
src=$("$root/scripts/unpack_pd056_source.sh" "$work")
(cd "$src" && ./autogen.sh >"$work/autogen.log" 2>&1 &&
   ./configure --host=aarch64-linux-gnu --with-floatsize=64 --disable-alsa --disable-jack --disable-oss \
               --disable-portaudio --disable-portmidi --disable-locales CFLAGS=-O2 >"$work/configure.log" 2>&1) ||
  { tail -40 "$work/autogen.log" "$work/configure.log" >&2; exit 1; }
make -C "$src/src" -j"${QUILL_JOBS:-2}" pd >"$work/make.log" 2>&1 || { tail -40 "$work/make.log" >&2; exit 1; }
rm -rf "$dest"
mkdir -p "$dest/bin"
aarch64-linux-gnu-strip -o "$dest/bin/pd" "$src/src/pd"
echo "0.56-5" >"$stamp"
echo "build_pd64: Pd64 0.56-5 for arm64 in $dest/bin ($(du -sh "$dest/bin" | cut -f1))"
