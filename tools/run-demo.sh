#!/usr/bin/env bash
# The first thing to try: installs what is missing, builds the program
# (Release, no sanitizers, in build/release) and starts `pelmora --demo`,
# which shows a simulated synthesizer's LCD without any hardware.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_SANITIZE=OFF -DPELMORA_TESTS=OFF
cmake --build build/release --target pelmora -j "$(nproc)"
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display found: start this from a desktop session (or under xvfb-run)." >&2
  exit 1
fi
exec build/release/linux/app/pelmora --demo "$@"
