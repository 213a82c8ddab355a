#!/usr/bin/env bash
# Runs a Windows program of a build folder under Wine: the emulator that the
# MinGW tool chain gives CMake and CTest. The build folder is the nearest
# folder above the program that holds a CMakeCache.txt; its Wine prefix is
# prepared by tools/wine-env.sh when no server is running for it.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
exe=${1:?usage: wine-run.sh <program.exe> [arguments]}
dir=$(cd "$(dirname "$exe")" && pwd)
build=$dir
while [[ $build != / && ! -f $build/CMakeCache.txt ]]; do build=$(dirname "$build"); done
[[ -f $build/CMakeCache.txt ]] || { echo "wine-run.sh: $exe is not in a build folder" >&2; exit 2; }
PELMORA_WINE_PERSIST=${PELMORA_WINE_PERSIST:-900}
source "$here/wine-env.sh" "$build"
exec "$PELMORA_WINE_LOADER" "$@"
