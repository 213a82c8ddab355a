#!/usr/bin/env bash
# Builds every release artefact from this tree, each from a build the test
# stages check, into build/release-artefacts (PELMORA_RELEASE_OUT):
#   pelmora_<version>_amd64.deb            the Linux package (tools/test-package.sh)
#   Pelmora-<version>-windows-x64.zip      the 64-bit Pelmora.exe whose tests,
#                                          window and device checks ran under
#                                          Wine (tools/build-windows-release.sh),
#                                          README.txt and the licences
#   Pelmora-<version>-windows-x86.zip      the 32-bit Pelmora.exe, the same files
#   SHA256SUMS                             for all of them (sha256sum -c SHA256SUMS)
# The version is the one in host/window_title.h (cmake/version.cmake).
#   bash tools/make-release.sh           the release: every test stage first (about 20 minutes)
#   bash tools/make-release.sh --quick   only the x64 zip, built without running any test
#                                        (a few minutes), for trying the program on Windows
set -euo pipefail
cd "$(dirname "$0")/.."
quick=false
case ${1:-} in
  --quick) quick=true ;;
  "") ;;
  *) echo "usage: make-release.sh [--quick]" >&2; exit 2 ;;
esac
if $quick; then
  bash tools/deps.sh windows-quick
else
  bash tools/deps.sh runtime test windows windows-app
fi
start=$SECONDS
out=$(realpath -m "${PELMORA_RELEASE_OUT:-build/release-artefacts}")
version=$(cmake -DPRINT=VERSION -P cmake/version.cmake)
text=$(cmake -DPRINT=VERSION_TEXT -P cmake/version.cmake)
windows=build/windows-release
tested=${PELMORA_WINDOWS_BUILD:-build/windows}-x86_64/windows/app/Pelmora.exe

# A read-me for people who open the zip on Windows: CRLF line ends.
readme() {
  local arch=$1 bits=$2 note=$3
  sed 's/$/\r/' <<TEXT
Pelmora $text, Windows $arch

Pelmora shows the LCD of a Tonverra mini synthesizer, attached over USB, in a
small window. Run Pelmora.exe: nothing to install, no DLLs beside it, no
administrator rights. It needs $bits Windows 10 or 11.

The first start: Windows may say "Windows protected your PC" (SmartScreen),
because this program is new to it and not signed. Click "More info", then
"Run anyway"; Windows asks only once.

Right-click the picture (or press Shift+F10) for the scale (1x to 6x), always
on top, copying or saving the picture, and exit. Ctrl+C copies the picture,
Ctrl+S saves it as PNG in your Pictures folder (the title says where).
Without a synthesizer the window shows "No Device" and finds the synthesizer
when it is plugged in.

Options, in a shortcut's target or a command prompt:
  Pelmora.exe --demo          a simulated synthesizer, to try it without one
  Pelmora.exe --record FILE   also write a trace of the session to FILE, to
                              send with a bug report
  Pelmora.exe --scale N       start at scale N (1 to 6)
  Pelmora.exe --help          all options

$note

Documentation: docs/windows.md in Pelmora's sources (starting, options,
recording a problem, troubleshooting).

Licence: MIT, see LICENSE.txt. The fonts built into the program have their
own licences, shipped beside it: LICENSE.fixed.txt and LICENSE.mplus.txt.
TEXT
}
# The licence as shipped: it names the font licences by their names in the zip.
zip_licence() {
  sed -e 's#core/assets/LICENSE\.fixed  #LICENSE.fixed.txt          #' \
      -e 's#core/assets/LICENSE\.mplus  #LICENSE.mplus.txt          #' \
      -e '/^The installed package carries/,$d' -e 's/$/\r/' LICENSE
}
# zip_windows EXE NAME BITS NOTE
zip_windows() {
  local exe=$1 name=$2 bits=$3 note=$4
  local stage
  stage=$(mktemp -d)
  mkdir "$stage/$name"
  cp "$exe" "$stage/$name/Pelmora.exe"
  zip_licence >"$stage/$name/LICENSE.txt"
  for font in fixed mplus; do sed 's/$/\r/' "core/assets/LICENSE.$font" >"$stage/$name/LICENSE.$font.txt"; done
  readme "${name##*-}" "$bits" "$note" >"$stage/$name/README.txt"
  # Every licence file the texts name is in the zip.
  for named in $(grep -oh 'LICENSE[.A-Za-z]*\.txt' "$stage/$name"/*.txt | sort -u); do
    [[ -f $stage/$name/$named ]] || { echo "make-release.sh: $named is named but not shipped" >&2; exit 1; }
  done
  (cd "$stage" && python3 -m zipfile -c "$out/$name.zip" "$name")
  rm -rf "$stage"
}

if $quick; then
  build=build/windows-quick-x86_64
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake >/dev/null
  cmake --build "$build" --target Pelmora
  rm -rf "$out"
  mkdir -p "$out"
  zip_windows "$build/windows/app/Pelmora.exe" "Pelmora-$version-windows-x64" "64-bit" \
    "This is a quick build: made from the sources without running their tests
(tools/make-release.sh without --quick makes the tested one)."
  (cd "$out" && sha256sum -- *.zip >SHA256SUMS)
  echo "Quick, untested Windows zip of $text in $out ($((SECONDS - start)) s):"
  cat "$out/SHA256SUMS"
  exit 0
fi

bash tools/test-package.sh
PELMORA_RELEASE_BUILD=$windows bash tools/build-windows-release.sh

rm -rf "$out"
mkdir -p "$out"
cp "build/package/pelmora_${version}_amd64.deb" "$out/"

zip_windows "$windows/x86_64/Pelmora.exe" "Pelmora-$version-windows-x64" "64-bit" \
  "This is the build that is tested: its tests and its window run under Wine."
zip_windows "$windows/i686/Pelmora.exe" "Pelmora-$version-windows-x86" "32-bit or 64-bit" \
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
