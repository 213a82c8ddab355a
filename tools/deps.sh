#!/usr/bin/env bash
# Installs the Debian packages of the named sets, only those that are
# missing. A set is a file tools/packages/<set>.txt: package names separated
# by white space, '#' starts a comment. Without arguments: the "runtime" and
# "test" sets, everything building and testing need.
# Uses sudo for apt-get when not run as root.
set -euo pipefail
dir="$(dirname "$0")/packages"
sets=("$@")
((${#sets[@]})) || sets=(runtime test)
packages=()
for set in "${sets[@]}"; do
  [[ -f "$dir/$set.txt" ]] || { echo "deps.sh: no package set '$set'" >&2; exit 2; }
  while read -r line; do
    line=${line%%#*}
    for p in $line; do packages+=("$p"); done
  done <"$dir/$set.txt"
done
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing with apt-get: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""
  if [[ $(id -u) -ne 0 ]]; then
    echo "(not root: apt-get runs through sudo)"
    SUDO=sudo
  fi
  # Another apt run (an unattended upgrade, a second stage) may hold dpkg's
  # lock for a while on a new machine: wait for it rather than fail.
  lock=(-o DPkg::Lock::Timeout=1200)
  $SUDO apt-get "${lock[@]}" update -qq
  $SUDO apt-get "${lock[@]}" install -y --no-install-recommends "${missing[@]}"
fi
