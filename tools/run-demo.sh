#!/usr/bin/env bash
# The first thing to try: builds the program (Release, no sanitizers, in
# build/release) and starts `pelmora --demo`, which shows a simulated
# synthesizer's LCD without any hardware. Installs only what building and
# running need (tools/packages/runtime.txt: compiler, CMake, GTK, gettext, a
# Japanese font), through sudo when not run as root; the test tools come with
# tools/run-tests.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
# No point in installing and building for a window that cannot be shown.
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display found: start this from a desktop session (or under xvfb-run)." >&2
  exit 1
fi
echo "Run-time packages: $(grep -v '^#' tools/packages/runtime.txt | xargs)"
bash tools/deps.sh runtime
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_SANITIZE=OFF -DPELMORA_TESTS=OFF
cmake --build build/release --target pelmora -j "$(nproc)"
exec build/release/linux/app/pelmora --demo "$@"
