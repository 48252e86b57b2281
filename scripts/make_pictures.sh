#!/usr/bin/env bash
# Draws the pictures in docs/pictures/ from data that small programs measure
# on the real kernels (pictures/*_data.cpp): mellow~'s magnitude response,
# zigzag~'s spectrum beside a naive triangle's, klaxon~'s LFO shapes and
# envelope, leveler~'s static level curve. Needs g++, cmake and gnuplot
# (installed when missing).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if ! command -v gnuplot >/dev/null; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends gnuplot-nox
fi

build="$root/build-pictures"
cmake -S . -B "$build" -DQUILL_BUILD_PICTURES=ON -DQUILL_BUILD_TESTS=OFF -DQUILL_BUILD_PLUGINS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target picture_data_mellow picture_data_zigzag picture_data_klaxon \
      picture_data_leveler >/dev/null

data="$build/picture-data"
out="${QUILL_PICTURES_OUT:-$root/docs/pictures}"  # QUILL_PICTURES_OUT: draw elsewhere
mkdir -p "$data" "$out"
"$build/help/picture_data_mellow" > "$data/mellow.dat"
"$build/help/picture_data_zigzag" 5000 > "$data/zigzag.dat"
"$build/help/picture_data_klaxon" lfo > "$data/klaxon-lfo.dat"
"$build/help/picture_data_klaxon" envelope > "$data/klaxon-envelope.dat"
"$build/help/picture_data_leveler" > "$data/leveler.dat"

gnuplot <<GNUPLOT
set terminal pngcairo size 1000,620 font "DejaVu Sans,11" noenhanced
set grid lc rgb "#dddddd"

set output "$out/mellow-response.png"
set title "mellow~: magnitude response, cutoff 1000 Hz, 44100 Hz (measured on the kernel)"
set logscale x
set xrange [20:20000]
set yrange [-60:30]
set xlabel "frequency (Hz)"
set ylabel "gain (dB)"
set key top right title "resonanceQ"
plot for [i=0:5] "$data/mellow.dat" index i using 1:2 with lines lw 2 \
     title word("0.5 1 2 4 8 15", i + 1)
unset logscale x

set output "$out/zigzag-spectrum.png"
set title "A 5000 Hz triangle at 44100 Hz: zigzag~ against a naive triangle 1 - 4|phase - 0.5|\n(Blackman-Harris window, 0 dB = fundamental; lines off the odd harmonics 5, 15 kHz are fold-back)"
set xrange [0:22050]
set yrange [-140:5]
set xlabel "frequency (Hz)"
set ylabel "level (dB)"
set key top right title ""
plot "$data/zigzag.dat" index 1 using 1:2 with lines lw 1 lc rgb "#f4a3a3" title "naive triangle", \
     "" index 0 using 1:2 with lines lw 1 lc rgb "#1f4fb4" title "zigzag~ (polyBLEP)"

set terminal pngcairo size 1000,1000 font "DejaVu Sans,11" noenhanced
set output "$out/klaxon-lfo.png"
unset title
set multiplot layout 5,1 title "klaxon~: oscillator pitch after each trigger button (speed 2 Hz, depth 1 octave, pitch 220 Hz)"
set xrange [0:1.5]
set logscale y
set yrange [100:480]
set ytics (110, 220, 440)
set xlabel ""
set ylabel "pitch (Hz)"
set key top right title ""
names = "triggerTriangle triggerSquare triggerSaw triggerRevSaw triggerRandom"
do for [i=0:4] {
  if (i == 4) { set xlabel "time after the press (s)" }
  plot "$data/klaxon-lfo.dat" index i using 1:2 with lines lw 2 title word(names, i + 1)
}
unset multiplot
unset logscale y
set ytics autofreq

set terminal pngcairo size 1000,620 font "DejaVu Sans,11" noenhanced
set output "$out/klaxon-envelope.png"
set multiplot layout 2,1 title "klaxon~: a note held for 0.5 s, then released (triggerSaw, depth 0)"
set xrange [0:1.7]
set yrange [-1.05:1.05]
set xlabel ""
set ylabel "level"
set key bottom right title ""
set title "decay 0.4 s"
plot "$data/klaxon-envelope.dat" index 0 using 1:2 with lines lc rgb "#bbbbbb" title "output", \
     "" index 0 using 1:3 with lines lw 2 lc rgb "#d62728" title "envelope"
set xlabel "time after the press (s)"
set title "decay 1 s"
plot "$data/klaxon-envelope.dat" index 1 using 1:2 with lines lc rgb "#bbbbbb" title "output", \
     "" index 1 using 1:3 with lines lw 2 lc rgb "#d62728" title "envelope"
unset multiplot

set output "$out/leveler-curve.png"
set title "leveler~: static level curve, 1 kHz sine at 44100 Hz (peak levels, after settling)"
set xrange [-72:0]
set yrange [-72:6]
set xlabel "input level (dB)"
set ylabel "output level (dB)"
set key bottom right title "intensity"
plot x with lines dt 2 lc rgb "#888888" title "output = input", \
     for [i=0:4] "$data/leveler.dat" index i using 1:2 with linespoints lw 2 pt 7 ps 0.6 \
     title word("0 0.3 0.6 0.9 1", i + 1)
GNUPLOT

echo "pictures: wrote $(ls "$out"/*.png | wc -l) files to $out"
