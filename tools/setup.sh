#!/usr/bin/env bash
# Installs what building and testing Quadrel needs from Debian's packages, if missing.
set -euo pipefail

packages=(
  build-essential cmake ccache
  qt6-base-dev qt6-base-dev-tools libqt6serialport6-dev qt6-serialport-dev
  libgl-dev
  fonts-liberation fonts-arphic-uming fonts-dejavu-core
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
