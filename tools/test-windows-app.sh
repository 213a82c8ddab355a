#!/usr/bin/env bash
# The Windows program's checks, run by tools/test-windows.sh after its builds:
# the resources linked into each build's Pelmora.exe, then the 64-bit program
# driven in a real window under Wine in a virtual X display, first without a
# device (tests/windows_app/window_check.py), then with the simulated
# synthesizer plugged in as a HID device (tests/windows_app/device_check.py).
#
#   bash tools/test-windows-app.sh BUILD64 [BUILD32]
#     BUILD64  a 64-bit MinGW build folder configured with the tests
#     BUILD32  a 32-bit build folder whose Pelmora.exe is checked as well
#   PELMORA_WINDOW_SCREENSHOTS=DIR  also saves pictures of the window there
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh windows windows-app
build64=${1:?usage: test-windows-app.sh BUILD64 [BUILD32]}
build32=${2:-}
start=$SECONDS
for tool in Xvfb xdotool import wrestool icotool python3 wineserver; do
  command -v "$tool" >/dev/null || { echo "test-windows-app.sh: $tool is missing" >&2; exit 1; }
done

cmake --build "$build64" -j "$(nproc)" --target Pelmora window_probe PelmoraEventProbe \
  pelmora_simdevice_driver pelmora_simdevice_install pelmora_simdevice
python3 tests/windows_app/resources_check.py "$build64/windows/app/Pelmora.exe" amd64
if [[ -n $build32 ]]; then
  python3 tests/windows_app/resources_check.py "$build32/windows/app/Pelmora.exe" x86
fi
python3 tests/windows_app/window_check.py "$build64" ${PELMORA_WINDOW_SCREENSHOTS:+"$PELMORA_WINDOW_SCREENSHOTS"}
python3 tests/windows_app/device_check.py "$build64" ${PELMORA_WINDOW_SCREENSHOTS:+"$PELMORA_WINDOW_SCREENSHOTS"}
echo "Windows program checks passed in $((SECONDS - start)) s."
