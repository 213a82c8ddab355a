#!/usr/bin/env bash
# The Windows program on real Windows (the CI's Windows job, in an MSYS2
# shell): started without a synthesizer, its window found by the probe the
# Wine checks use (tests/windows_app/window_probe.cpp), its title checked,
# the window captured to a PNG, then closed through its menu's exit command;
# it must end with code 0.
#   bash tools/ci-windows-window.sh BUILD OUTDIR
set -euo pipefail
build=${1:?usage: ci-windows-window.sh BUILD OUTDIR}
out=${2:?usage: ci-windows-window.sh BUILD OUTDIR}
mkdir -p "$out"
probe="$build/tests/windows_app/window_probe.exe"
"$build/windows/app/Pelmora.exe" &
pid=$!
info=$("$probe" find 30 | tr -d '\r') || { echo "ci-windows-window.sh: no window within 30 s" >&2; kill "$pid"; exit 1; }
echo "$info"
grep -q '^title Pelmora Ver ' <<<"$info" || { echo "ci-windows-window.sh: unexpected title" >&2; exit 1; }
read -r _ x y w h < <(grep '^window ' <<<"$info")
sleep 2  # the first status screen
powershell -NoProfile -Command "Add-Type -AssemblyName System.Drawing;
  \$b = New-Object System.Drawing.Bitmap $w, $h; \$g = [System.Drawing.Graphics]::FromImage(\$b);
  \$g.CopyFromScreen($x, $y, 0, 0, \$b.Size); \$b.Save('$(cygpath -w "$out")\\no-device.png')"
"$probe" post 273 40010 0  # WM_COMMAND with the menu's exit command
status=0
wait "$pid" || status=$?
[[ $status == 0 ]] || { echo "ci-windows-window.sh: exit code $status after the menu's exit" >&2; exit 1; }
echo "window captured to $out/no-device.png; closed through the menu with code 0"
