# The developer tools the guide shows, each run once in its smallest form so
# that none goes stale: benchmarks, instruction counts, the soak, pictures
# and screenshots (drawn into a scratch folder, not over the committed ones).
# Each must run to its end and print its table; no time or count is judged.
set -euo pipefail
cd "$QUILL_ROOT"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

QUILL_BENCH_MIN_TIME=0.01 QUILL_BENCH_REPETITIONS=1 scripts/bench.sh > "$scratch/bench.txt"
grep -q "mellow" "$scratch/bench.txt"
scripts/count_instructions.sh > "$scratch/counts.txt"
grep -q "zigzag_vibrato_8" "$scratch/counts.txt"
QUILL_BENCH_REPEAT=1 QUILL_BENCH_BYPASS_INSTANCES=4 \
  scripts/bench_pd.sh 2 1 > "$scratch/bench_pd.txt"
grep -q "mellow~ cost ratio" "$scratch/bench_pd.txt"
scripts/bench_libpd.sh 400 > "$scratch/bench_libpd.txt"
grep -q "leveler~" "$scratch/bench_libpd.txt"
scripts/soak.sh --seconds 20 > "$scratch/soak.txt"
grep -q "soak passed" "$scratch/soak.txt"
QUILL_PICTURES_OUT="$scratch/pictures" scripts/make_pictures.sh > /dev/null
ls "$scratch"/pictures/*.png > /dev/null
QUILL_SHOTS_OUT="$scratch/shots" scripts/help_screenshots.sh > /dev/null
ls "$scratch"/shots/*.png > /dev/null
echo "tools: bench, counts, bench_pd, bench_libpd, soak, pictures and screenshots ran"
