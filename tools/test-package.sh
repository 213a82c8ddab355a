#!/usr/bin/env bash
# Test stage: the Debian package and the run-time package set.
#   1. builds the whole tree, tests included, in Release, and the package
#      pelmora_<version>_amd64.deb from it with CPack
#   2. checks the package's files and control fields (dpkg-deb) and runs
#      lintian, which must report no errors, and desktop-file-validate on
#      the menu entry, which must report nothing
#   3. unpacks it into a throwaway root and runs `pelmora --version` there
#   4. checks with ldd and dpkg -S that every library `pelmora` loads comes
#      from a package that the run-time set (tools/packages/runtime.txt)
#      installs, so tools/run-demo.sh is enough to run it
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh runtime test
for tool in cmake cpack dpkg-deb dpkg-shlibdeps lintian ldd msgunfmt apt-cache desktop-file-validate; do
  command -v "$tool" >/dev/null || { echo "test-package.sh: $tool is missing" >&2; exit 1; }
done

dir=build/package
release=$(cmake -DPRINT=VERSION -P cmake/version.cmake)
text=$(cmake -DPRINT=VERSION_TEXT -P cmake/version.cmake)
deb=$dir/pelmora_${release}_amd64.deb
# The build users and packagers make: Release (gcc at -O3 warns about things
# the Debug builds never show) with the tests on, every target built; the
# package comes from it.
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_SANITIZE=OFF -DPELMORA_TESTS=ON \
  -DPELMORA_WERROR=ON
cmake --build "$dir" -j "$(nproc)"
rm -f "$deb"
(cd "$dir" && cpack -G DEB >/dev/null)
[[ -f "$deb" ]] || { echo "FAIL: $deb was not made" >&2; exit 1; }

fail() { echo "FAIL: $*" >&2; exit 1; }

echo "== contents"
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in ./usr/bin/pelmora ./usr/lib/udev/rules.d/70-pelmora.rules ./usr/share/applications/pelmora.desktop \
         ./usr/share/icons/hicolor/scalable/apps/pelmora.svg ./usr/share/locale/ja/LC_MESSAGES/pelmora.mo \
         ./usr/share/man/man1/pelmora.1.gz ./usr/share/doc/pelmora/copyright ./usr/share/doc/pelmora/changelog.gz; do
  grep -qxF "$f" <<<"$contents" || fail "$f is not in the package"
done

echo "== control fields"
field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == pelmora ]] || fail "Package is $(field Package)"
[[ $(field Version) == "$release" ]] || fail "Version is $(field Version)"
[[ $(field Architecture) == amd64 ]] || fail "Architecture is $(field Architecture)"
# Computed from the binary: GTK and the C++ runtime must be there.
for dep in libgtk-3-0 libstdc++6 libc6; do
  grep -q "\b$dep\b" <<<"$(field Depends)" || fail "Depends lacks $dep: $(field Depends)"
done
control=$(mktemp -d)
trap 'rm -rf "$control" "${root:-}"' EXIT
dpkg-deb -e "$deb" "$control"
for script in postinst postrm; do
  [[ -x $control/$script ]] || fail "$script is missing or not executable"
  sh -n "$control/$script" || fail "$script does not parse"
  grep -q "udevadm control --reload-rules" "$control/$script" || fail "$script does not reload the udev rules"
done

echo "== lintian"
lintian --fail-on error --tag-display-limit 0 "$deb" 2>&1 | grep -v "running with root privileges" || true
lintian --fail-on error "$deb" >/dev/null 2>&1 || fail "lintian reports errors"

echo "== installed into a throwaway root"
root=$(mktemp -d)
dpkg-deb -x "$deb" "$root"
version=$("$root/usr/bin/pelmora" --version)
[[ $version == "pelmora $text" ]] || fail "--version said '$version'"
msgunfmt "$root/usr/share/locale/ja/LC_MESSAGES/pelmora.mo" | grep -qF '終了(_X)' || fail "the Japanese catalogue lacks its texts"
xgettext --keyword=translatable --from-code=UTF-8 -o - linux/app/*.cpp 2>/dev/null | msgcmp po/ja.po - ||
  fail "po/ja.po lacks a text the program marks for translation"
zcat "$root/usr/share/man/man1/pelmora.1.gz" | grep -qF 'BI \-\-replay' || fail "the manual page lacks --replay"
entry=$root/usr/share/applications/pelmora.desktop
[[ -z $(desktop-file-validate "$entry") ]] || fail "desktop-file-validate: $(desktop-file-validate "$entry")"
grep -qx 'Exec=pelmora --demo' "$entry" || fail "the menu entry offers no demo"
echo "$version"

echo "== run-time set"
mapfile -t runtime < <(sed 's/#.*//' tools/packages/runtime.txt | xargs -n1)
# Everything the run-time set installs: its packages and what they depend on.
closure=$(apt-cache depends --recurse --installed --no-recommends --no-suggests --no-conflicts --no-breaks \
            --no-replaces --no-enhances "${runtime[@]}" 2>/dev/null | grep -v '^ ' | sed 's/:.*//' | sort -u)
missing=0
while read -r lib; do
  owner=""
  for candidate in "$lib" "$(readlink -f "$lib")" "${lib#/usr}" "/usr$lib"; do
    owner=$(dpkg -S "$candidate" 2>/dev/null | head -1 | cut -d: -f1) && [[ -n $owner ]] && break
  done
  if [[ -z $owner ]]; then
    echo "  $lib: no package owns it"; missing=1
  elif ! grep -qxF "$owner" <<<"$closure"; then
    echo "  $lib: from $owner, which the run-time set does not install"; missing=1
  fi
done < <(ldd "$dir/linux/app/pelmora" | awk '/=> \//{print $3} /^\t\/.*ld-linux/{print $1}')
((missing == 0)) || fail "the run-time set does not cover every library pelmora needs"
echo "every library of pelmora comes from the run-time set ($(ldd "$dir/linux/app/pelmora" | wc -l) libraries)"
echo "Package checks passed."
