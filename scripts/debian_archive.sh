#!/usr/bin/env bash
# Prints the address of the Debian archive this machine's apt sources use
# (never the security archive), so that no script names a host itself.
set -euo pipefail
archive=$(
  { grep -hs '^URIs:' /etc/apt/sources.list.d/*.sources | awk '{print $2}'
    grep -hs '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list | awk '{print $2}'
  } | grep -v -e security -e '^$' | grep -m1 debian || true)
if [ -z "$archive" ]; then
  echo "debian_archive: no Debian archive found in this machine's apt sources" >&2
  exit 1
fi
echo "${archive%/}"
