#!/usr/bin/env bash
# The macOS app on a real Mac (the CI's macOS job): started without a
# synthesizer, its window waited for and captured to a PNG, then quit
# through the application menu's quit item (its last, whatever the
# runner's language); it must end with code 0.
#   bash tools/ci-mac-window.sh APP OUTDIR
set -euo pipefail
app=${1:?usage: ci-mac-window.sh APP OUTDIR}
out=${2:?usage: ci-mac-window.sh APP OUTDIR}
mkdir -p "$out"
"$app/Contents/MacOS/Pelmora_mac" &
pid=$!
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
[[ -n $id ]] || { echo "ci-mac-window.sh: no window within 30 s" >&2; kill "$pid"; exit 1; }
sleep 2  # the first status screen
screencapture -x -o -l "$id" "$out/no-device.png"
osascript -e "tell application \"System Events\" to tell (first process whose unix id is $pid)
  click last menu item of menu 1 of menu bar item 2 of menu bar 1
end tell"
status=0
wait "$pid" || status=$?
[[ $status == 0 ]] || { echo "ci-mac-window.sh: exit code $status after the menu's quit" >&2; exit 1; }
echo "window $id captured to $out/no-device.png; quit through the menu with code 0"
