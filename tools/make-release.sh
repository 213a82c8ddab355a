#!/usr/bin/env bash
# Builds every release artefact from this tree, each from a build the test
# stages check, into build/release-artefacts (PELMORA_RELEASE_OUT):
#   pelmora_<version>_amd64.deb            the Linux package (tools/test-package.sh)
#   Pelmora-<version>-windows-x64.zip      the 64-bit Pelmora.exe whose tests,
#                                          window and device checks ran under
#                                          Wine (tools/build-windows-release.sh),
#                                          LICENSE and a short README.txt
#   Pelmora-<version>-windows-x86.zip      the 32-bit Pelmora.exe, the same files
#   SHA256SUMS                             for all of them (sha256sum -c SHA256SUMS)
# The version is the one in host/window_title.h (cmake/version.cmake).
#   bash tools/make-release.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh runtime test windows windows-app
start=$SECONDS
out=$(realpath -m "${PELMORA_RELEASE_OUT:-build/release-artefacts}")
version=$(cmake -DPRINT=VERSION -P cmake/version.cmake)
text=$(cmake -DPRINT=VERSION_TEXT -P cmake/version.cmake)
windows=build/windows-release
tested=${PELMORA_WINDOWS_BUILD:-build/windows}-x86_64/windows/app/Pelmora.exe

bash tools/test-package.sh
PELMORA_RELEASE_BUILD=$windows bash tools/build-windows-release.sh

rm -rf "$out"
mkdir -p "$out"
cp "build/package/pelmora_${version}_amd64.deb" "$out/"

# A read-me for people who open the zip on Windows: CRLF line ends.
readme() {
  local arch=$1 bits=$2 note=$3
  sed 's/$/\r/' <<TEXT
Pelmora $text, Windows $arch

Pelmora shows the LCD of a Tonverra mini synthesizer, attached over USB, in a
small window. Run Pelmora.exe: nothing to install, no DLLs beside it, no
administrator rights. It needs $bits Windows 10 or 11.

Right-click the picture for the scale (1x to 6x), always on top and exit.
Without a synthesizer the window shows "No Device" and finds the synthesizer
when it is plugged in.

$note

Licence: MIT, see LICENSE.txt.
TEXT
}
zip_windows() {
  local arch=$1 name=$2 bits=$3 note=$4
  local stage
  stage=$(mktemp -d)
  mkdir "$stage/$name"
  cp "$windows/$arch/Pelmora.exe" "$stage/$name/Pelmora.exe"
  sed 's/$/\r/' LICENSE >"$stage/$name/LICENSE.txt"
  readme "${name##*-}" "$bits" "$note" >"$stage/$name/README.txt"
  (cd "$stage" && python3 -m zipfile -c "$out/$name.zip" "$name")
  rm -rf "$stage"
}
zip_windows x86_64 "Pelmora-$version-windows-x64" "64-bit" \
  "This is the build that is tested: its tests and its window run under Wine."
zip_windows i686 "Pelmora-$version-windows-x86" "32-bit or 64-bit" \
  "This 32-bit build is made from the same sources but has never been run by
the tests; on 64-bit Windows use the x64 zip."

(cd "$out" && sha256sum -- *.deb *.zip >SHA256SUMS && sha256sum --quiet -c SHA256SUMS)
# The zip holds the very Pelmora.exe the window checks ran.
python3 - "$out/Pelmora-$version-windows-x64.zip" "$tested" <<'PY'
import hashlib, sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    shipped = z.read(next(n for n in z.namelist() if n.endswith("/Pelmora.exe")))
tested = open(sys.argv[2], "rb").read()
sys.exit(0 if shipped == tested else "make-release.sh: the x64 zip's Pelmora.exe is not the tested one")
PY
echo "Release $text in $out ($((SECONDS - start)) s):"
cat "$out/SHA256SUMS"
