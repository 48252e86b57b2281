#!/usr/bin/env bash
# Builds a double-precision Pd (Pd64) 0.56 for 64-bit Windows from Pd's own
# source (scripts/unpack_pd056_source.sh), for running headless under Wine
# and for linking the -64 Windows modules against its import library.
# Usage: build_pd64.sh [DEST]   (default: build-deps/windows-pd64)
# Then: DEST/bin/pd64.exe, pd64.com, pd64.dll, pd64.lib (import library),
# libwinpthread-1.dll; DEST/include/m_pd.h.
# Needs (Debian packages): g++-mingw-w64-x86-64 autoconf automake libtool.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dest=${1:-$root/build-deps/windows-pd64}
files=(pd64.exe pd64.com pd64.dll pd64.lib pd64.def libwinpthread-1.dll)

stamp="$dest/.quill-windows-pd64"
if [ "$(cat "$stamp" 2>/dev/null)" = "0.56-5 ${files[*]}" ]; then
  exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
src=$("$root/scripts/unpack_pd056_source.sh" "$work")
"$root/scripts/windows/cross_build_pd.sh" "$src" "$dest" --with-floatsize=64
for f in "${files[@]}"; do [ -f "$dest/bin/$f" ] || { echo "build_pd64: $f missing" >&2; exit 1; }; done
echo "0.56-5 ${files[*]}" >"$stamp"
echo "build_pd64: Pd64 0.56-5 for Windows in $dest/bin ($(du -sh "$dest/bin" | cut -f1))"
