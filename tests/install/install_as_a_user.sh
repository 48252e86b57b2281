#!/usr/bin/env bash
# The README's manual install, done as a user would: the archive unzipped
# into an empty folder that Pd searches by itself (~/.local/lib/pd/extra of
# a fresh home), then a patch of the README's first-patch kind opened from
# elsewhere: [declare -path quill] and all four objects, audio on. Each Pd
# must create every object, answer a read, and give sound from each one;
# Pd's exit code says nothing of that, so the console is read.
#
#   tests/install/install_as_a_user.sh ARCHIVE PD...
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
archive=$1
shift
"$root/scripts/install_missing.sh" "install test" unzip

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
pass() { echo "ok: $1"; }
fail() { failures=$((failures + 1)); echo "FAILED: $1"; }

# The README's commands, in the folder the archive was downloaded to.
home=$tmp/home
extra=$home/.local/lib/pd/extra
mkdir -p "$tmp/downloads" "$tmp/patch"
cp "$archive" "$tmp/downloads/"
(cd "$tmp/downloads" && HOME=$home && mkdir -p ~/.local/lib/pd/extra && unzip -q quill*.dek -d ~/.local/lib/pd/extra)

# The version in the archive's name is the one its patches show.
version=$(basename "$archive" | sed -n 's/^quill\[v\([^]]*\)\].*/\1/p')
stale=$(cd "$extra/quill" && grep -L "VERSION $version\b" quill-meta.pd *-help.pd | tr '\n' ' ' || true)
[ -n "$version" ] && [ -z "$stale" ] && pass "meta and help patches say version $version" \
  || fail "version ${version:-?} missing from: $stale"

# The patch: zigzag~ -> mellow~ -> leveler~ and a klaxon~ note. Each
# object's signal goes through [abs~] into a table; its largest value is
# printed as "peak: NAME~ VALUE".
objects=(zigzag mellow leveler klaxon)
lines=() n=0
box() { lines+=("#X $1;"); n=$((n + 1)); }
wire() { lines+=("#X connect $1 $2 $3 $4;"); }
box "obj 10 10 declare -path quill"
box "obj 10 40 sig~ 220";                      sig=$((n - 1))
box "obj 10 70 zigzag~";                       zigzag=$((n - 1))
box "obj 10 100 mellow~";                      mellow=$((n - 1))
box "obj 10 130 leveler~";                     leveler=$((n - 1))
box "obj 10 160 klaxon~";                      klaxon=$((n - 1))
box "obj 300 10 loadbang";                     load=$((n - 1))
box "msg 300 40 cutoff 800 \\, cutoff";        cutoff=$((n - 1))
box "msg 300 70 triggerSquare 1";              trigger=$((n - 1))
box "obj 300 100 print reply";                 reply=$((n - 1))
box "msg 300 130 \\; pd dsp 1";                dsp=$((n - 1))
box "obj 300 160 delay 300";                   at_record=$((n - 1))
box "obj 300 190 s quill-record";              record=$((n - 1))
box "obj 300 220 delay 600";                   at_measure=$((n - 1))
box "obj 300 250 s quill-measure";             measure=$((n - 1))
box "obj 300 280 delay 700";                   at_quit=$((n - 1))
box "msg 300 310 \\; pd quit";                 quit=$((n - 1))
box "obj 300 340 r quill-record";              r_record=$((n - 1))
box "obj 300 370 r quill-measure";             r_measure=$((n - 1))
box "obj 300 400 print peak";                  peak=$((n - 1))
wire $sig 0 $zigzag 1; wire $zigzag 1 $mellow 1; wire $mellow 1 $leveler 1
wire $mellow 0 $reply 0
for b in $cutoff $trigger $dsp $at_record $at_measure $at_quit; do wire $load 0 $b 0; done
wire $cutoff 0 $mellow 0; wire $trigger 0 $klaxon 0
wire $at_record 0 $record 0; wire $at_measure 0 $measure 0; wire $at_quit 0 $quit 0
x=450
for o in "${objects[@]}"; do
  x=$((x + 150))
  box "obj $x 10 abs~";                        abs=$((n - 1))
  box "obj $x 40 table peak-$o 4410"
  box "obj $x 70 tabwrite~ peak-$o";           tab=$((n - 1))
  box "obj $x 100 array max peak-$o";          max=$((n - 1))
  box "msg $x 130 $o~ \\\$1";                  say=$((n - 1))
  wire "${!o}" 1 $abs 0; wire $abs 0 $tab 0; wire $r_record 0 $tab 0
  wire $r_measure 0 $max 0; wire $max 0 $say 0; wire $say 0 $peak 0
done
{ echo "#N canvas 0 0 1200 500 12;"; echo "#X declare -path quill;"; printf '%s\n' "${lines[@]}"; } \
  >"$tmp/patch/first-patch.pd"

for pd in "$@"; do
  label=$("$pd" -version 2>&1 | head -1 | cut -d' ' -f1)
  out=$(HOME=$home timeout 60 "$pd" -nogui -nosound -batch -noprefs -stderr -nrt \
          -open "$tmp/patch/first-patch.pd" 2>&1 || true)
  problems=$(grep -iE "couldn't create|error|warning" <<<"$out" || true)
  [ -z "$problems" ] && pass "$label: a clean console" || fail "$label: $problems"
  for o in "${objects[@]}"; do
    grep -qF "[quill] $o~:" <<<"$out" && pass "$label: $o~ loaded from the unzipped folder" \
                                      || fail "$label: $o~ printed no load line"
    value=$(sed -n "s/^peak: $o~ \([-0-9.e+]*\)$/\1/p" <<<"$out")
    if [ -n "$value" ] && awk -v v="$value" 'BEGIN { exit !(v > 0.05 && v <= 4) }'; then
      pass "$label: $o~ sounds (peak $value)"
    else
      fail "$label: $o~ peak '${value}' is not between 0.05 and 4"
    fi
  done
  grep -qx "reply: /mellow/cutoff 800" <<<"$out" && pass "$label: mellow~ answers on its left outlet" \
    || fail "$label: no reply from mellow~"
done
[ "$failures" = 0 ]
