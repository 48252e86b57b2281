# Sourced: Wine's settings for running Pd headless. A private 64-bit prefix;
# no Mono or Gecko installers, no audio drivers, no display, no debug noise.
root=${root:-$(cd "$(dirname "$0")/../.." && pwd)}
WINEPREFIX=${QUILL_WINEPREFIX:-$root/build-deps/wine-prefix}
WINEARCH=win64
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml=;winealsa.drv,winepulse.drv,wineoss.drv=d"
export WINEPREFIX WINEARCH WINEDEBUG WINEDLLOVERRIDES
unset DISPLAY WAYLAND_DISPLAY
