#!/usr/bin/env bash
# Unpacks Pd's own source of its 0.56-5 release (the archive serves no Pd
# source newer than 0.53.1) into a folder and prints the source tree's path.
# The tarball: QUILL_PD056_SOURCE, else ../shared/third_party/ beside the
# project; its SHA-256 is checked.
# Usage: unpack_pd056_source.sh FOLDER
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dest=${1:?folder to unpack into}
tarball=${QUILL_PD056_SOURCE:-$root/../shared/third_party/pure-data-0.56-5.tar.xz}
sha256=1fa682637aeb48b10fc552ce389e89cceaf9f6f223ee3865f243bb2d1f828d83

if [ ! -f "$tarball" ]; then
  echo "unpack_pd056_source: no $tarball (set QUILL_PD056_SOURCE to Pd's 0.56-5 source tarball)" >&2
  exit 1
fi
echo "$sha256  $tarball" | sha256sum -c --quiet >&2
mkdir -p "$dest"
tar -C "$dest" -xf "$tarball"
echo "$dest/pure-data-0.56-5"
