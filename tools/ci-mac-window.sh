#!/usr/bin/env bash
# The macOS app on a real Mac (the CI's macOS jobs): started without a
# synthesizer, its window waited for, its title checked, the window captured
# and its LCD area compared with the "No Device" picture the core draws
# (tools/ci-compare-window.py), then quit through the application menu's
# quit item (its last, whatever the runner's language); it must end with
# code 0.
#   bash tools/ci-mac-window.sh APP REFERENCE.png OUTDIR
# REFERENCE.png is the LCD at scale 1, written by the core itself:
#   pelmora_headless --no-device --duration 2000 --last --out DIR --prefix no-device
set -euo pipefail
usage="usage: ci-mac-window.sh APP REFERENCE.png OUTDIR"
app=${1:?$usage}
reference=${2:?$usage}
out=${3:?$usage}
here=$(dirname "$0")
mkdir -p "$out"
echo "machine $(uname -m); the app's slices: $(lipo -archs "$app/Contents/MacOS/Pelmora_mac")"
"$app/Contents/MacOS/Pelmora_mac" &
pid=$!
fail() {
  echo "ci-mac-window.sh: $*" >&2
  kill "$pid" 2>/dev/null || true
  exit 1
}
# The window's number, from the window server's list, by the app's process.
window_id() {
  osascript -l JavaScript -e "ObjC.import('CoreGraphics');
    var list = ObjC.castRefToObject(\$.CGWindowListCopyWindowInfo(\$.kCGWindowListOptionOnScreenOnly, 0));
    var ids = [];
    for (var i = 0; i < list.count; i++) {
      var w = list.objectAtIndex(i);
      if (w.objectForKey('kCGWindowOwnerPID').intValue == $pid && w.objectForKey('kCGWindowLayer').intValue == 0)
        ids.push(w.objectForKey('kCGWindowNumber').intValue);
    }
    ids.join(' ')"
}
id=""
for _ in $(seq 30); do
  id=$(window_id 2>/dev/null | awk '{print $1}')
  [[ -n $id ]] && break
  sleep 1
done
[[ -n $id ]] || fail "no window within 30 s"
title=$(osascript -e "tell application \"System Events\" to get name of window 1 of (first process whose unix id is $pid)")
echo "title $title"
[[ $title == "Pelmora Ver "* ]] || fail "unexpected title"
# The window server may show the sRGB picture in the display's colours:
# matched back to sRGB, a few levels of rounding remain.
srgb="/System/Library/ColorSync/Profiles/sRGB Profile.icc"
matched=false
for _ in $(seq 10); do
  screencapture -x -o -l "$id" "$out/no-device.png"
  sips -m "$srgb" "$out/no-device.png" --out "$out/no-device-srgb.png" >/dev/null
  if python3 "$here/ci-compare-window.py" "$out/no-device-srgb.png" "$reference" 4; then
    matched=true
    break
  fi
  sleep 1
done
$matched || fail "the window does not show \"No Device\" as the core draws it ($out/no-device.png)"
osascript -e "tell application \"System Events\" to tell (first process whose unix id is $pid)
  click last menu item of menu 1 of menu bar item 2 of menu bar 1
end tell"
status=0
wait "$pid" || status=$?
[[ $status == 0 ]] || { echo "ci-mac-window.sh: exit code $status after the menu's quit" >&2; exit 1; }
echo "window $id shows \"No Device\" as the core draws it; quit through the menu with code 0"
