#!/usr/bin/env bash
# A Windows program on real Windows (the CI's Windows jobs, in a bash of
# MSYS2 or Git for Windows): started without a synthesizer, its window found
# by the probe the Wine checks use (tests/windows_app/window_probe.cpp), its
# title and client size checked, the client area captured as the window
# draws it (PrintWindow) and compared with the exact "No Device" screen the
# core draws, as the Wine window check compares it; then closed through its
# menu's exit command, and it must end with code 0.
#   bash tools/ci-windows-window.sh PELMORA_EXE PROBE_EXE OUTDIR
set -euo pipefail
usage="usage: ci-windows-window.sh PELMORA_EXE PROBE_EXE OUTDIR"
exe=${1:?$usage}
probe=${2:?$usage}
out=${3:?$usage}
mkdir -p "$out"
"$exe" --scale 1 &
pid=$!
fail() {
  echo "ci-windows-window.sh: $*" >&2
  kill "$pid" 2>/dev/null || true
  exit 1
}
# With coreutils alone, which every bash on Windows has.
same() { [[ $(sha256sum <"$1") == $(sha256sum <"$2") ]]; }
info=$("$probe" find 30 | tr -d '\r') || fail "no window within 30 s"
echo "$info"
grep -q '^title Pelmora Ver ' <<<"$info" || fail "unexpected title"
read -r _ _ _ w h < <(grep '^client ' <<<"$info")
[[ "$w $h" == "320 170" ]] || fail "client area ${w}x$h, not 320x170 at scale 1"
"$probe" reference 'No Device' "$out/no-device-reference.ppm" || fail "no reference picture"
# The first status screen may take a moment to be drawn.
for _ in $(seq 20); do
  "$probe" capture "$out/no-device.ppm" || fail "PrintWindow gave no picture"
  same "$out/no-device.ppm" "$out/no-device-reference.ppm" && break
  sleep 0.5
done
same "$out/no-device.ppm" "$out/no-device-reference.ppm" ||
  fail "the window does not show \"No Device\" as the core draws it ($out/no-device.ppm)"
"$probe" post 273 40010 0  # WM_COMMAND with the menu's exit command
status=0
wait "$pid" || status=$?
[[ $status == 0 ]] || { echo "ci-windows-window.sh: exit code $status after the menu's exit" >&2; exit 1; }
echo "the window shows \"No Device\" exactly as the core draws it ($out/no-device.ppm); closed through the menu with code 0"
