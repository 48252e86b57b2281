#!/usr/bin/env bash
# Downloads Debian trixie packages with a private apt state and unpacks them
# under a folder, without installing anything on this machine.
# Usage: unpack_from_trixie.sh DEST PACKAGE...
set -euo pipefail
dest=${1:?destination folder}
shift

# The archive address comes from this machine's own apt sources.
archive=$("$(dirname "$0")/debian_archive.sh")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/debs"
chmod -R a+rwx "$work"  # apt's download user must be able to write here
echo "deb $archive trixie main" > "$work/sources.list"
opts=(-o Dir::Etc::sourcelist="$work/sources.list" -o Dir::Etc::sourceparts=-
      -o Dir::State::Lists="$work/lists" -o Dir::Cache="$work/cache"
      -o APT::Get::List-Cleanup=0 -o Debug::NoLocking=1)
apt-get "${opts[@]}" -qq update
(cd "$work/debs" && apt-get "${opts[@]}" -qq download "$@")
mkdir -p "$dest"
for deb in "$work"/debs/*.deb; do dpkg-deb -x "$deb" "$dest"; done
echo "unpack_from_trixie: $(ls "$work"/debs | tr '\n' ' ')-> $dest"
