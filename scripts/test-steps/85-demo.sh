# The demo rendered headless by scripts/demo.sh, the first of the developer
# guide's two commands: it must still write its recording.
set -euo pipefail
cd "$QUILL_ROOT"
scripts/demo.sh
