#!/usr/bin/env bash
# Downloads packages of a Debian release (bullseye, trixie, sid ...) with a
# private apt state and unpacks them under a folder, without installing
# anything on this machine.
# Usage: unpack_from_debian.sh SUITE DEST PACKAGE...
set -euo pipefail
suite=${1:?Debian suite}
dest=${2:?destination folder}
shift 2

# The archive address comes from this machine's own apt sources.
archive=$("$(dirname "$0")/debian_archive.sh")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/debs"
chmod -R a+rwx "$work"  # apt's download user must be able to write here
echo "deb $archive $suite main" > "$work/sources.list"
# An empty package status too: otherwise a version installed here would be
# the one apt picks (and fails to find in an older release).
: > "$work/status"
opts=(-o Dir::Etc::sourcelist="$work/sources.list" -o Dir::Etc::sourceparts=-
      -o Dir::State::Lists="$work/lists" -o Dir::State::status="$work/status"
      -o Dir::Cache="$work/cache"
      -o APT::Get::List-Cleanup=0 -o Debug::NoLocking=1)
apt-get "${opts[@]}" -qq update
(cd "$work/debs" && apt-get "${opts[@]}" -qq download "$@")
mkdir -p "$dest"
for deb in "$work"/debs/*.deb; do dpkg-deb -x "$deb" "$dest"; done
echo "unpack_from_debian $suite: $(ls "$work"/debs | tr '\n' ' ')-> $dest"
