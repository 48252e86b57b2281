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
"$(dirname "$0")/unpack_from_debian.sh" trixie "$dest" puredata-core puredata-dev
"$dest/usr/lib/puredata/bin/pd" -version 2>&1 | head -1
