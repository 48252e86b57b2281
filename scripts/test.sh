#!/usr/bin/env bash
# Builds everything and runs every test. The steps live in
# scripts/test-steps/, run in name order; each builds what it tests.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
export QUILL_ROOT="$root"
export QUILL_JOBS=$(nproc)
export QUILL_PD055="$root/build-deps/pd055"

scripts/setup.sh

failed=()
for step in scripts/test-steps/*.sh; do
  name=$(basename "$step" .sh)
  echo "== $name"
  start=$(date +%s)
  if bash "$step"; then
    echo "== $name: passed in $(( $(date +%s) - start )) s"
  else
    echo "== $name: FAILED after $(( $(date +%s) - start )) s"
    failed+=("$name")
  fi
done

total=$(ls scripts/test-steps/*.sh | wc -l)
echo "steps: $(( total - ${#failed[@]} )) passed, ${#failed[@]} failed"
if [ ${#failed[@]} -gt 0 ]; then
  echo "failed steps: ${failed[*]}"
  exit 1
fi
