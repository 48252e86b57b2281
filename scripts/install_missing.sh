#!/usr/bin/env bash
# Installs those of Debian's packages PACKAGE... that are not installed yet;
# a line names them, led by LABEL. Root, or sudo.
#   scripts/install_missing.sh LABEL PACKAGE...
set -euo pipefail
label=$1
shift
missing=()
for p in "$@"; do
  dpkg-query -W -f '${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -gt 0 ] || exit 0
echo "$label: installing ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
