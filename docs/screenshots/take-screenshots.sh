#!/usr/bin/env bash
# Retakes the README's screenshots in a virtual X display: `pelmora` without
# a device, and `pelmora --demo` at scale 2 on each of its seven pages and on
# its volume screen.
#   bash docs/screenshots/take-screenshots.sh [path/to/pelmora]
set -euo pipefail
cd "$(dirname "$0")"
pelmora=$(realpath "${1:-../../build/release/linux/app/pelmora}")

# The demo's rhythm runs on the monotonic clock: one page every 6 s, in mode
# order, and a volume change every 30 s, 20 s into the period, whose screen
# stays up for 2.5 s.
page_ms=6000
volume_ms=30000
volume_phase_ms=20000
pages=(meters face piano-roll scope picture channels frequency-bands)

# Sleeps until the middle of the next page, moved aside when a volume screen
# would cover it, then prints that page's number.
wait_page() {
  local plan
  plan=$(python3 -c "
import time
t = time.monotonic() * 1000
start = (t // $page_ms + 1) * $page_ms
at = next(start + o for o in (3000, 300, $page_ms - 300) if (start + o - $volume_phase_ms) % $volume_ms >= 2700)
print((at - t) / 1000, int(start // $page_ms))")
  sleep "${plan% *}"
  echo "${plan#* }"
}

# Sleeps until a volume screen is up.
wait_volume() {
  sleep "$(python3 -c "import time; print((($((volume_phase_ms + 1500)) - time.monotonic() * 1000) % $volume_ms) / 1000)")"
}

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

"$pelmora" --scale 1 &
app=$!
win=$(window_of)
sleep 2
import -window "$win" -depth 8 status-no-device.png
kill $app; wait $app 2>/dev/null || true

"$pelmora" --demo --scale 2 &
app=$!
win=$(window_of)
sleep 1
for _ in "${pages[@]}"; do
  page=$(wait_page)
  import -window "$win" -depth 8 "demo-${pages[page % ${#pages[@]}]}.png"
done
wait_volume
import -window "$win" -depth 8 demo-volume.png
kill $app; wait $app 2>/dev/null || true
