#!/usr/bin/env bash
# Unpacks, without installing them, the other Pd versions users run beside
# bookworm's 0.53.1 and trixie's 0.55.2:
#   DEPS/pd051  Pd 0.51.4 from Debian bullseye (runs here as it is)
#   DEPS/sid    Pd 0.57.0, libpd 0.57.0 (single and double precision, with
#               headers) and the C library they need, from Debian sid; run its
#               programs through scripts/sid_run.sh, its Pd through scripts/pd057.sh
# Each folder is fetched only when it is missing.
# Usage: fetch_pd_hosts.sh DEPS
set -euo pipefail
deps=${1:?folder for the unpacked packages}
here=$(dirname "$0")

if [ ! -x "$deps/pd051/usr/lib/puredata/bin/pd" ]; then
  "$here/unpack_from_debian.sh" bullseye "$deps/pd051" puredata-core
fi

# sid's programs need a newer glibc than bookworm's, hence its libc6; the
# audio libraries Pd links come from this machine (bookworm's puredata-core).
sid_lib=$deps/sid/usr/lib/x86_64-linux-gnu
if [ ! -x "$deps/sid/usr/lib/puredata/bin/pd" ] || [ ! -f "$sid_lib/libpd.so.0" ] ||
   [ ! -f "$sid_lib/libpd64.so.0" ] || [ ! -f "$deps/sid/usr/include/pd/z_libpd.h" ] ||
   [ ! -f "$deps/sid/usr/include/pd/m_pd.h" ] || [ ! -x "$sid_lib/ld-linux-x86-64.so.2" ]; then
  "$here/unpack_from_debian.sh" sid "$deps/sid" \
    puredata-core puredata-dev libpd0 libpd64-0 libpd-dev libc6
fi
