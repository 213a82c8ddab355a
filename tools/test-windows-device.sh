#!/usr/bin/env bash
# The simulated-device stage of the test command: plugs the simulated
# synthesizer into Wine's HID stack as a USB HID device (a HID minidriver
# relaying to the simulator, tests/windows/simdevice/) and runs the real
# Windows discovery, transport and session engine against it. Then replays
# the reports the Windows session read through the Linux build of the core
# and checks that it draws the same pictures.
#
#   bash tools/test-windows-device.sh      the whole stage (installs what is missing)
#
# Reuses the 64-bit Windows build folder of tools/test-windows.sh
# (PELMORA_WINDOWS_BUILD, default build/windows, folder <prefix>-x86_64) and
# builds only the device's targets in it. The device lives in a Wine prefix
# of its own, <build>/simdevice-prefix/wine-prefix, so the device-less checks
# of the Windows stage never see it. The native replay tool comes from
# PELMORA_NATIVE_BUILD if set, else build/asan when the main stage built it,
# else from build/device-native.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh test windows
start=$SECONDS
jobs=$(nproc)
base=${PELMORA_WINDOWS_BUILD:-build/windows}
build64="$base-x86_64"
serial=E2E0001

for tool in x86_64-w64-mingw32-gcc-posix x86_64-w64-mingw32-g++-posix wineserver cmake ninja g++; do
  command -v "$tool" >/dev/null || { echo "test-windows-device.sh: $tool is missing" >&2; exit 1; }
done

mkdir -p "$build64"
PELMORA_JOBS=$jobs bash tools/build-gtest-mingw.sh cmake/toolchain-mingw-x86_64.cmake "$build64/gtest-prefix"
cmake -S . -B "$build64" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_WERROR=ON \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake \
  -DGTest_DIR="$PWD/$build64/gtest-prefix/lib/cmake/GTest" >/dev/null
cmake --build "$build64" -j "$jobs" --target pelmora_simdevice_driver pelmora_simdevice_install \
  pelmora_simdevice simdevice_e2e
dir="$build64/tests/windows/simdevice"

native=${PELMORA_NATIVE_BUILD:-build/asan}
[[ -f $native/CMakeCache.txt ]] || {
  native=build/device-native
  cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELMORA_LINUX_APP=OFF >/dev/null
}
cmake --build "$native" -j "$jobs" --target pelmora_capture_replay_tool

prefix="$build64/simdevice-prefix"
mkdir -p "$prefix"
source tools/wine-env.sh "$prefix"
trap 'pelmora_wine_stop "$prefix"' EXIT
installer() { "$PELMORA_WINE_LOADER" "$dir/pelmora_simdevice_install.exe" "$@" </dev/null; }
restart_wine() { pelmora_wine_stop "$prefix"; pelmora_wine_start "$prefix"; }

# A rebuilt driver replaces the installed one only while no device uses it,
# and Wine starts the driver it installs into a new prefix only after a
# restart: unplug everything, restart, plug (and restart once more if the
# device did not come).
installer unplug
restart_wine
if ! installer plug "$serial"; then
  echo "test-windows-device.sh: first install into this prefix; restarting Wine"
  restart_wine
  installer list | tr -d '\r' | grep -qx "$serial" ||
    { echo "test-windows-device.sh: the simulated device does not appear" >&2; exit 1; }
fi

out="$build64/simdevice-out"
rm -rf "$out"
mkdir -p "$out"
PELMORA_E2E_OUT="Z:$(realpath "$out" | tr / '\\')" "$PELMORA_WINE_LOADER" "$dir/simdevice_e2e.exe" </dev/null
installer unplug

for file in host_capture.bin device_capture.bin frames.txt; do
  [[ -s $out/$file ]] || { echo "test-windows-device.sh: the session left no $file" >&2; exit 1; }
done
"$native/tools/capture_replay/pelmora_capture_replay" "$out/host_capture.bin" >"$out/linux_frames.txt"
if ! diff -q "$out/frames.txt" "$out/linux_frames.txt" >/dev/null; then
  echo "test-windows-device.sh: the Linux replay draws other pictures than the Windows session" >&2
  diff "$out/frames.txt" "$out/linux_frames.txt" | head -20 >&2
  exit 1
fi
# The trace of the whole session replays on Linux to what it showed on Windows.
[[ -s $out/windows_session.trace ]] || { echo "test-windows-device.sh: the session left no trace" >&2; exit 1; }
"$native/tools/capture_replay/pelmora_capture_replay" "$out/windows_session.trace" >"$out/linux_session.txt" || true
if ! diff -q "$out/windows_session.expected" "$out/linux_session.txt" >/dev/null; then
  echo "test-windows-device.sh: the trace replays on Linux to another session than on Windows" >&2
  diff "$out/windows_session.expected" "$out/linux_session.txt" | head -20 >&2
  exit 1
fi
echo "Trace replayed on Linux: $(grep -c '^status' "$out/linux_session.txt") status screens, the same as on Windows."
echo "Replayed on Linux: $(wc -l <"$out/frames.txt") pictures from $(( ($(stat -c %s "$out/host_capture.bin") - 16) / 72 )) reports, the same as on Windows."
echo "Simulated-device stage passed in $((SECONDS - start)) s."
