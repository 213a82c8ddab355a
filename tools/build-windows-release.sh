#!/usr/bin/env bash
# Builds the two Windows programs that are released, each one file with the
# C++ runtime linked in and nothing to install:
#   x86_64  the Release build that the Windows stage tests: its tests run
#           under Wine and its window and device checks drive this very
#           Pelmora.exe; it is what 64-bit Windows 10 and 11 should run
#   i686    a second, 32-bit build of the same sources for 32-bit Windows;
#           nothing 32-bit runs here, so only its resources are checked
# Runs the Windows stage (tools/test-windows.sh) to get them, then copies
# both into the release folder:
#   bash tools/build-windows-release.sh   writes build/windows-release/x86_64/Pelmora.exe
#                                         and build/windows-release/i686/Pelmora.exe
# PELMORA_RELEASE_BUILD names another folder; PELMORA_WINDOWS_BUILD is the
# Windows stage's (default build/windows).
set -euo pipefail
cd "$(dirname "$0")/.."
out=${PELMORA_RELEASE_BUILD:-build/windows-release}
base=${PELMORA_WINDOWS_BUILD:-build/windows}
bash tools/test-windows.sh
for arch in x86_64 i686; do
  exe="$base-$arch/windows/app/Pelmora.exe"
  grep -q '^CMAKE_BUILD_TYPE:STRING=Release$' "$base-$arch/CMakeCache.txt" ||
    { echo "build-windows-release.sh: $base-$arch is not a Release build" >&2; exit 1; }
  # Only system libraries may be left to load at run time.
  imports=$("$arch-w64-mingw32-objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
  for dll in $imports; do
    case $dll in
      kernel32.dll | user32.dll | gdi32.dll | dwmapi.dll | setupapi.dll | hid.dll | bcrypt.dll | msvcrt.dll | advapi32.dll | \
        ole32.dll | shell32.dll) ;;
      *) echo "build-windows-release.sh: $exe needs $dll at run time" >&2; exit 1 ;;
    esac
  done
  mkdir -p "$out/$arch"
  cp "$exe" "$out/$arch/Pelmora.exe"
  echo "$out/$arch/Pelmora.exe ($(stat -c %s "$exe") bytes; loads only: $(echo $imports))"
done
