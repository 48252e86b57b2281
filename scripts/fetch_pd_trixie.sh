#!/usr/bin/env bash
# Fetches Pd 0.55.2 (puredata-core, puredata-dev) from Debian trixie and
# unpacks it under a folder without installing it, so that the plug-ins can be
# built against its multichannel header and tested in it.
# Usage: fetch_pd_trixie.sh DEST   (DEST/usr/lib/puredata/bin/pd, DEST/usr/include/pd)
set -euo pipefail
dest=${1:?destination folder}
if [ -x "$dest/usr/lib/puredata/bin/pd" ] && [ -f "$dest/usr/include/pd/m_pd.h" ]; then
  exit 0
fi

# The archive address comes from this machine's own apt sources.
archive=$(
  { grep -hs '^URIs:' /etc/apt/sources.list.d/*.sources | awk '{print $2}'
    grep -hs '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list | awk '{print $2}'
  } | grep -v -e security -e '^$' | grep -m1 debian || true)
if [ -z "$archive" ]; then
  echo "fetch_pd_trixie: no Debian archive found in this machine's apt sources" >&2
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
(cd "$work/debs" && apt-get "${opts[@]}" -qq download puredata-core puredata-dev)
mkdir -p "$dest"
for deb in "$work"/debs/*.deb; do dpkg-deb -x "$deb" "$dest"; done
"$dest/usr/lib/puredata/bin/pd" -version 2>&1 | head -1
