#!/usr/bin/env bash
# Opens every help patch, its subpatches and the demo in Pd 0.53.1's own Tk
# GUI on a virtual display and photographs each window into
# docs/pictures/help/. With --check it takes no pictures: it only fails when
# Pd's console shows an error, a warning or an object that couldn't create.
# Needs Debian's xvfb, puredata-gui, xdotool and ImageMagick (installed when
# missing; --check needs no ImageMagick) and the plug-ins built in
# build/plugins (PLUGIN_DIR overrides).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
mode=${1:-pictures}

packages=(xvfb puredata-gui xdotool fonts-dejavu-core)
[ "$mode" = --check ] || packages+=(imagemagick)
"$root/scripts/install_missing.sh" "help screenshots" "${packages[@]}"

plugins=${PLUGIN_DIR:-$root/build/plugins}
out=${QUILL_SHOTS_OUT:-$root/docs/pictures/help}  # QUILL_SHOTS_OUT: take them elsewhere
tmp=$(mktemp -d)
mkdir -p "$out"

# A display of our own: the first free number from 90 on.
display=90
while [ -e /tmp/.X11-unix/X$display ] || [ -e /tmp/.X$display-lock ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1800x1000x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
pd_pid=
cleanup() {
  [ -n "$pd_pid" ] && kill "$pd_pid" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
export DISPLAY=":$display"
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

# Waits (up to 30 s) for a window whose title starts with $1; prints its id.
window() {
  local id
  for _ in $(seq 300); do
    id=$(xdotool search --name "^$1" 2>/dev/null | head -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "no window '$1'" >&2
  return 1
}

# Photographs window $1 as $2.png once Tk has drawn it.
shoot() {
  sleep 0.5
  [ "$mode" = --check ] || import -window "$1" "$out/$2.png"
}

# Subpatch boxes of the main canvas: "x y name" for each [pd name] directly
# in it, except graph-on-parent ones (a click there plays their controls).
subpatches() {
  awk '/^#N canvas/ { depth++; gop[depth] = 0 }
       /^#X coords/ && $9 + 0 != 0 { gop[depth] = 1 }
       /^#X restore/ { if (depth == 2 && !gop[depth]) { sub(/;$/, ""); print $3, $4, $6 }; depth-- }' "$1"
}

failures=0
photograph() {  # PATCH PICTURE-NAME
  local patch=$1 name=$2 id x y sub_name wid
  local log=$tmp/$name.log
  pd -noprefs -nosound -nomidi -stderr -path "$plugins" -open "$patch" >"$log" 2>&1 &
  pd_pid=$!
  local title
  title=$(basename "$patch")
  id=$(window "$title")
  shoot "$id" "$name"
  # Open each subpatch with a click on its box (run mode), photograph it,
  # and move it aside so it does not cover the next box.
  local wx wy
  eval "$(xdotool getwindowgeometry --shell "$id" | grep -E '^(X|Y)=')"
  wx=$X wy=$Y
  while read -r x y sub_name; do
    [ "$sub_name" = META ] && continue
    xdotool mousemove $((wx + x + 8)) $((wy + 32 + y + 8)) click 1
    wid=$(window "$sub_name ")
    shoot "$wid" "$name-$sub_name"
    xdotool windowmove "$wid" 1000 0
  done < <(subpatches "$patch")
  # What Pd printed while the windows were open (its GUI complains once
  # Pd is killed under it).
  sleep 0.3
  cp "$log" "$log.open"
  kill "$pd_pid" 2>/dev/null || true
  wait "$pd_pid" 2>/dev/null || true
  pd_pid=
  if grep -iE "error|warning|couldn't create|bad arguments" "$log.open"; then
    echo "FAILED: $patch: Pd's console shows the lines above"
    failures=$((failures + 1))
  else
    echo "ok: $patch opens in Pd's GUI with a clean console"
  fi
}

# PATCHES (for example "mellow demo") limits the run to some of them.
for name in ${PATCHES:-klaxon mellow zigzag leveler demo}; do
  if [ "$name" = demo ]; then
    photograph "$root/demo/quill-demo.pd" demo
  else
    photograph "$root/help/$name~-help.pd" "$name"
  fi
done
[ "$mode" = --check ] || echo "help screenshots: $(ls "$out" | wc -l) pictures in $out"
[ "$failures" = 0 ]
