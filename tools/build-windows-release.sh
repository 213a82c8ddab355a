#!/usr/bin/env bash
# Builds the Windows release: one 32-bit Pelmora.exe with the C++ runtime
# linked in, so it runs on 32- and 64-bit Windows 10 and 11 with nothing
# beside it.
#   bash tools/build-windows-release.sh      writes build/windows-release/Pelmora.exe
# PELMORA_RELEASE_BUILD names another build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh windows
build=${PELMORA_RELEASE_BUILD:-build/windows-release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_TESTS=OFF \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake >/dev/null
cmake --build "$build" -j "$(nproc)" --target Pelmora
i686-w64-mingw32-strip -o "$build/Pelmora.exe" "$build/windows/app/Pelmora.exe"
# Only system libraries may be left to load at run time.
imports=$(i686-w64-mingw32-objdump -p "$build/Pelmora.exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
for dll in $imports; do
  case $dll in
    kernel32.dll | user32.dll | gdi32.dll | dwmapi.dll | setupapi.dll | hid.dll | bcrypt.dll | msvcrt.dll | advapi32.dll) ;;
    *) echo "build-windows-release.sh: Pelmora.exe needs $dll at run time" >&2; exit 1 ;;
  esac
done
echo "$build/Pelmora.exe ($(stat -c %s "$build/Pelmora.exe") bytes; loads only: $(echo $imports))"
