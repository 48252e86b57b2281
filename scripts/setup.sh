#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian machine, and
# unpacks Pd 0.55.2, Pd 0.51.4 and sid's Pd and libpd 0.57.0 beside the
# checkout. Safe to run again: it only installs or fetches what is missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

packages=(g++ cmake make libgtest-dev puredata-core puredata-dev)
"$root/scripts/install_missing.sh" "setup" "${packages[@]}"

"$root/scripts/fetch_pd_trixie.sh" "$root/build-deps/pd055" >/dev/null
"$root/scripts/fetch_pd_hosts.sh" "$root/build-deps" >/dev/null
