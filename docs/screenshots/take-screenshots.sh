#!/usr/bin/env bash
# Retakes the README's screenshots: `pelmora --demo` at scale 2 once on every
# page of its cycle, and `pelmora` without a device, in a virtual X display.
#   bash docs/screenshots/take-screenshots.sh [path/to/pelmora]
set -euo pipefail
cd "$(dirname "$0")"
pelmora=$(realpath "${1:-../../build/release/linux/app/pelmora}")
page_ms=6000   # how long the simulated synthesizer stays on one page
pages=7

exec {fd}<> <(:)
Xvfb -displayfd "$fd" -screen 0 1280x800x24 -nolisten tcp -noreset 2>/dev/null &
xvfb=$!
trap 'kill $xvfb 2>/dev/null' EXIT
read -r -u "$fd" number
export DISPLAY=":$number" GDK_BACKEND=x11 NO_AT_BRIDGE=1

window_of() {
  local id=""
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name '^Pelmora Ver' 2>/dev/null | head -1) && [[ -n $id ]] && break
    sleep 0.1
  done
  echo "$id"
}

"$pelmora" &
app=$!
win=$(window_of)
sleep 2
import -window "$win" -depth 8 status-no-device.png
kill $app; wait $app 2>/dev/null || true

"$pelmora" --demo &
app=$!
win=$(window_of)
# Scale 2 from the context menu.
xdotool mousemove --window "$win" 160 85 click 3; sleep 0.5
for key in Down Right Down Return; do xdotool key $key; sleep 0.15; done
sleep 1
for ((i = 1; i <= pages; i++)); do
  import -window "$win" -depth 8 "demo-$i.png"
  sleep $((page_ms / 1000))
done
kill $app; wait $app 2>/dev/null || true
