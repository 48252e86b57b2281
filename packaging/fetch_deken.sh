#!/usr/bin/env bash
# Fetches Debian's deken (the packing tool of Pd's package manager) with its
# Hy runtime from Debian trixie and unpacks them under a folder without
# installing them. Bookworm's deken fetches Hy from the Python package index
# on first use; trixie's runs on bookworm's Python 3 with the modules named
# below and needs nothing else.
# Usage: fetch_deken.sh DEST   (DEST/usr/share/deken/deken.hy, DEST/usr/lib/python3/dist-packages/hy)
# Needs (Debian packages): python3 python3-funcparserlib python3-pyelftools python3-macholib
set -euo pipefail
dest=${1:?destination folder}
if [ -f "$dest/usr/share/deken/deken.hy" ] && [ -f "$dest/usr/lib/python3/dist-packages/hy/__init__.py" ]; then
  exit 0
fi

# The archive address comes from this machine's own apt sources.
archive=$(
  { grep -hs '^URIs:' /etc/apt/sources.list.d/*.sources | awk '{print $2}'
    grep -hs '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list | awk '{print $2}'
  } | grep -v -e security -e '^$' | grep -m1 debian || true)
if [ -z "$archive" ]; then
  echo "fetch_deken: no Debian archive found in this machine's apt sources" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/debs"
chmod -R a+rwx "$work"
echo "deb $archive trixie main" > "$work/sources.list"
opts=(-o Dir::Etc::sourcelist="$work/sources.list" -o Dir::Etc::sourceparts=-
      -o Dir::State::Lists="$work/lists" -o Dir::Cache="$work/cache"
      -o APT::Get::List-Cleanup=0 -o Debug::NoLocking=1)
apt-get "${opts[@]}" -qq update
(cd "$work/debs" && apt-get "${opts[@]}" -qq download deken python3-hy)
mkdir -p "$dest"
for deb in "$work"/debs/*.deb; do dpkg-deb -x "$deb" "$dest"; done
echo "fetch_deken: $(ls "$work"/debs | tr '\n' ' ')-> $dest"
