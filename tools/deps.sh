#!/usr/bin/env bash
# Installs the Debian packages this project needs, only those that are missing.
set -euo pipefail
packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  googletest libgtest-dev libbenchmark-dev libpng-dev pkg-config
  xfonts-base xfonts-mplus pcf2bdf
  libgtk-3-dev xvfb xauth xdotool x11-utils imagemagick python3 dbus-daemon
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""; [[ $(id -u) -ne 0 ]] && SUDO=sudo
  $SUDO apt-get update -qq
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
