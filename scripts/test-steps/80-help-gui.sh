# The help patches, their subpatches and the demo opened in Pd 0.53.1's own
# Tk GUI on a virtual display: no error or warning on Pd's console.
set -euo pipefail
cd "$QUILL_ROOT"
cmake -S . -B build -DQUILL_PD_INCLUDE_DIR="$QUILL_PD055/usr/include/pd" >/dev/null
cmake --build build -j"$QUILL_JOBS" --target plugin_klaxon plugin_mellow plugin_zigzag plugin_leveler >/dev/null
scripts/help_screenshots.sh --check
