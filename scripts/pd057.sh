#!/usr/bin/env bash
# Sid's Pd 0.57.0 as a plain `pd` command (e.g. QUILL_PD=scripts/pd057.sh).
# Usage: pd057.sh PD-ARGS...   (QUILL_SID as for sid_run.sh)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
sid=${QUILL_SID:-$(dirname "$here")/build-deps/sid}
exec "$here/sid_run.sh" "$sid/usr/lib/puredata/bin/pd" "$@"
