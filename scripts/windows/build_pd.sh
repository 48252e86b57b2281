#!/usr/bin/env bash
# Builds Pd 0.53.1 for 64-bit Windows from Debian's own source tarball with
# the mingw-w64 cross compiler, for running headless under Wine and for
# linking the Windows modules against its import library.
# The tarball's SHA-256 is checked against the one in Debian's .dsc.
# Usage: build_pd.sh [DEST]   (default: build-deps/windows-pd)
# Then: DEST/bin/pd.com (console launcher), pd.exe, pd.dll, pd.lib (import
# library), libwinpthread-1.dll; DEST/include/m_pd.h.
# Needs (Debian packages): g++-mingw-w64-x86-64 autoconf automake libtool.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dest=${1:-$root/build-deps/windows-pd}
pd_version=0.53.1
host=x86_64-w64-mingw32
files=(pd.exe pd.com pd.dll pd.lib pd.def libwinpthread-1.dll)

stamp="$dest/.quill-windows-pd"
if [ "$(cat "$stamp" 2>/dev/null)" = "$pd_version ${files[*]}" ]; then
  exit 0
fi

# Debian's revision of Pd $pd_version, and its source description.
version=$(apt-cache madison puredata-core | awk -F'|' '{gsub(/ /,"",$2); print $2}' |
          grep -m1 "^$pd_version" || true)
if [ -z "$version" ]; then
  echo "build_pd: no puredata $pd_version in this machine's apt sources" >&2
  exit 1
fi
archive=$("$root/scripts/debian_archive.sh")
pool="$archive/pool/main/p/puredata"
urlname() { sed 's/+/%2B/g' <<<"$1"; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod a+rwx "$work"  # apt's download user must be able to write here
dsc="puredata_${version}.dsc"
/usr/lib/apt/apt-helper -qq download-file "$pool/$(urlname "$dsc")" "$work/$dsc" >/dev/null
tarball="puredata_${pd_version}+ds.orig.tar.xz"
sha256=$(awk -v f="$tarball" '/^Checksums-Sha256:/ {on = 1; next} /^[^ ]/ {on = 0}
                              on && $3 == f {print $1}' "$work/$dsc")
if [ -z "$sha256" ]; then
  echo "build_pd: $dsc names no SHA-256 for $tarball" >&2
  exit 1
fi
# apt-helper refuses a file whose checksum differs.
/usr/lib/apt/apt-helper -qq download-file "$pool/$(urlname "$tarball")" "$work/$tarball" "SHA256:$sha256" >/dev/null
echo "$sha256  $work/$tarball" | sha256sum -c --quiet

tar -C "$work" -xf "$work/$tarball"
"$root/scripts/windows/cross_build_pd.sh" "$(echo "$work"/pure-data-*)" "$dest"
for f in "${files[@]}"; do [ -f "$dest/bin/$f" ] || { echo "build_pd: $f missing" >&2; exit 1; }; done
echo "$pd_version ${files[*]}" >"$stamp"
echo "build_pd: Pd $version for Windows in $dest/bin ($(du -sh "$dest/bin" | cut -f1))"
