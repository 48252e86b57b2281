#!/usr/bin/env bash
# Fetches Debian's deken (the packing tool of Pd's package manager) with its
# Hy runtime from Debian trixie and unpacks them under a folder without
# installing them. Bookworm's deken fetches Hy from the Python package index
# on first use; trixie's runs on bookworm's Python 3 with the modules named
# below and needs nothing else.
# Usage: fetch_deken.sh DEST   (DEST/usr/share/deken/deken.hy, DEST/usr/lib/python3/dist-packages/hy)
# Needs (Debian packages): python3 python3-funcparserlib python3-pyelftools python3-macholib,
# and python3-pefile to recognise Windows modules
set -euo pipefail
dest=${1:?destination folder}
if [ -f "$dest/usr/share/deken/deken.hy" ] && [ -f "$dest/usr/lib/python3/dist-packages/hy/__init__.py" ]; then
  exit 0
fi

"$(dirname "$0")/../scripts/unpack_from_debian.sh" trixie "$dest" deken python3-hy
