#!/usr/bin/env bash
# Draws the Windows program's icon (resource 107) from the Linux program's
# scalable icon: one .ico holding 16, 32, 64 and 128 pixel images, each
# rendered from the drawing at its own size rather than shrunk from another.
#   bash tools/make-windows-icon.sh     rewrites windows/app/pelmora.ico
# Needs ImageMagick with an SVG reader (imagemagick, librsvg2-bin) and
# icotool (icoutils).
set -euo pipefail
cd "$(dirname "$0")/.."
source=linux/packaging/pelmora.svg
target=windows/app/pelmora.ico
for tool in convert rsvg-convert icotool; do
  command -v "$tool" >/dev/null || { echo "make-windows-icon.sh: $tool is missing" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
images=()
for size in 128 64 32 16; do
  rsvg-convert -w "$size" -h "$size" -o "$work/$size.png" "$source"
  convert "$work/$size.png" -strip "PNG32:$work/$size.png"
  images+=("$work/$size.png")
done
icotool -c -o "$target" "${images[@]}"
echo "wrote $target"
