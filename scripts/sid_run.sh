#!/usr/bin/env bash
# Runs a program built for Debian sid (its Pd, a host linked against its
# libpd) on this machine, through sid's own loader and C library as unpacked
# by fetch_pd_hosts.sh; libraries sid does not provide come from this machine.
# Usage: sid_run.sh PROGRAM ARGS...   (QUILL_SID: the unpacked folder,
# default build-deps/sid beside the scripts)
set -euo pipefail
sid=${QUILL_SID:-$(cd "$(dirname "$0")/.." && pwd)/build-deps/sid}
lib=$sid/usr/lib/x86_64-linux-gnu
if [ ! -x "$lib/ld-linux-x86-64.so.2" ]; then
  echo "sid_run: no sid loader in $lib (scripts/fetch_pd_hosts.sh build-deps)" >&2
  exit 127
fi
exec "$lib/ld-linux-x86-64.so.2" --library-path "$lib:/lib/x86_64-linux-gnu:/usr/lib/x86_64-linux-gnu" "$@"
