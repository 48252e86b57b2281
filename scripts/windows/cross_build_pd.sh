#!/usr/bin/env bash
# Cross-builds an unpacked Pd source tree for 64-bit Windows with mingw-w64
# and lays out a runnable Pd and its import library:
#   DEST/bin/NAME.exe (the program), NAME.com (console launcher), NAME.dll,
#   NAME.lib (import library for externals), NAME.def, libwinpthread-1.dll;
#   DEST/include/m_pd.h
# NAME is pd, or pd64 for a double-precision build (--with-floatsize=64).
# Usage: cross_build_pd.sh SOURCE-TREE DEST [CONFIGURE-OPTIONS...]
# Needs (Debian packages): g++-mingw-w64-x86-64 autoconf automake libtool.
set -euo pipefail
src=${1:?Pd source tree}
dest=${2:?destination folder}
shift 2
host=x86_64-w64-mingw32
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

# Only src/ is needed; no audio or MIDI back end (Pd runs with -nosound).
(cd "$src" && ./autogen.sh >"$logs/autogen.log" 2>&1 &&
   ./configure --host=$host --disable-asio --disable-portaudio --disable-portmidi \
               --disable-locales CFLAGS=-O2 "$@" >"$logs/configure.log" 2>&1) ||
  { tail -40 "$logs/autogen.log" "$logs/configure.log" >&2; exit 1; }
make -C "$src/src" -j"${QUILL_JOBS:-2}" >"$logs/make.log" 2>&1 || { tail -40 "$logs/make.log" >&2; exit 1; }

name=pd
[ -f "$src/src/pd64.dll" ] && name=pd64
rm -rf "$dest"
mkdir -p "$dest/bin" "$dest/include"
# src/pd.exe is a libtool wrapper; the real program is in src/.libs. The
# launcher NAME.com starts NAME.exe from its own folder.
cp "$src/src/.libs/pd.exe" "$dest/bin/$name.exe"
cp "$src/src/$name.com" "$src/src/$name.dll" "$src/src/$name.lib" "$src/src/$name.def" "$dest/bin/"
cp "/usr/$host/lib/libwinpthread-1.dll" "$dest/bin/"
$host-strip "$dest"/bin/*.exe "$dest"/bin/*.com "$dest"/bin/*.dll
cp "$src"/src/m_pd.h "$dest/include/"
