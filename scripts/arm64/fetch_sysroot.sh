#!/usr/bin/env bash
# Fetches Debian's arm64 Pd 0.53.1 (puredata-core) and the libraries it and
# the plug-ins link with, and unpacks them into a sysroot folder for
# qemu-aarch64 -L, without installing any arm64 package on this machine.
# apt works on a private copy of its state with arm64 as the only
# architecture, reading the archives from this machine's own apt sources.
# Usage: fetch_sysroot.sh [DEST]   (default: build-deps/arm64-sysroot)
# Then: qemu-aarch64 -L DEST DEST/usr/lib/puredata/bin/pd -nrt ...
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dest=${1:-$root/build-deps/arm64-sysroot}
pd_version=0.53.1
packages=(puredata-core libasound2 libjack-jackd2-0 libportaudio2 libdb5.3 libopus0
          libsamplerate0 libc6 libgcc-s1 libstdc++6)

stamp="$dest/.quill-sysroot"
if [ -x "$dest/usr/lib/puredata/bin/pd" ] && [ "$(cat "$stamp" 2>/dev/null)" = "${packages[*]}" ]; then
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/debs"
chmod -R a+rwx "$work"
opts=(-o APT::Architecture=arm64 -o APT::Architectures::=arm64
      -o Dir::State::Lists="$work/lists" -o Dir::Cache="$work/cache"
      -o Dir::State::status=/dev/null -o APT::Get::List-Cleanup=0 -o Debug::NoLocking=1)
apt-get "${opts[@]}" -qq update

# Pd 0.53.1 exactly, as on the x86-64 side.
version=$(apt-cache "${opts[@]}" madison puredata-core | awk -F'|' '{gsub(/ /,"",$2); print $2}' |
          grep -m1 "^$pd_version" || true)
if [ -z "$version" ]; then
  echo "fetch_sysroot: no arm64 puredata-core $pd_version in this machine's apt sources" >&2
  exit 1
fi
wanted=("puredata-core=$version" "${packages[@]:1}")
(cd "$work/debs" && apt-get "${opts[@]}" -qq download "${wanted[@]}")

rm -rf "$dest"
mkdir -p "$dest"
for deb in "$work"/debs/*.deb; do dpkg-deb -x "$deb" "$dest"; done
echo "${packages[*]}" > "$stamp"
echo "fetch_sysroot: $(ls "$work"/debs | wc -l) packages unpacked into $dest ($(du -sh "$dest" | cut -f1))"
