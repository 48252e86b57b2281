#!/usr/bin/env bash
# Starts or stops the Wine server that the Windows Pd runs share.
#   wine-session.sh start   creates the prefix once (about 20 s, 0.7 GB),
#                           then keeps a server running: a Pd run then takes
#                           about 0.2 s instead of several seconds
#   wine-session.sh stop    ends that server and everything it runs
# Wine's settings: wine-env.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/scripts/windows/wine-env.sh"

case "${1:-}" in
  start)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      mkdir -p "$WINEPREFIX"
      # Background services inherit the first client's streams: never a pipe.
      timeout 300 wine wineboot -i </dev/null >/dev/null 2>&1
      timeout 120 wineserver -w
    fi
    wineserver -p || true  # status 2: a server for this prefix already runs
    timeout 120 wine wineboot </dev/null >/dev/null 2>&1
    ;;
  stop)
    wineserver -k 2>/dev/null || true
    ;;
  *)
    echo "usage: wine-session.sh start|stop" >&2
    exit 2
    ;;
esac
