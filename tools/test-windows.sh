#!/usr/bin/env bash
# The Windows stage of the test command: cross-builds the Windows code with
# MinGW-w64 (the 64-bit Release build that is shipped) and runs its tests
# under Wine; then compiles the 32-bit release build (nothing 32-bit can run
# here) and builds the Windows code with clang as well.
#
#   bash tools/test-windows.sh        the whole stage (installs what is missing)
#
# Pieces, for working on Windows code by hand (<b> = your build folder):
#   bash tools/build-gtest-mingw.sh cmake/toolchain-mingw-x86_64.cmake <b>/gtest-prefix
#   bash tools/wine-env.sh start <b>  Wine prefix <b>/wine-prefix, a persistent
#                                     wineserver, booted once; do this BEFORE
#                                     building (test discovery runs the exes)
#   cmake -S . -B <b> -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake \
#     -DGTest_DIR=<b>/gtest-prefix/lib/cmake/GTest
#   cmake --build <b> -j2 --target <targets>
#   ctest --test-dir <b> -R <pattern>  test programs run through tools/wine-run.sh
#   tools/wine-run.sh <b>/path/to/program.exe [args]   one program by hand
#   bash tools/wine-env.sh stop <b>   ends the wineserver (do this when done)
# tools/wine-run.sh starts a server itself when none runs for the folder
# (it then ends after 15 idle minutes).
#
# PELMORA_WINDOWS_BUILD (default build/windows) is the prefix of the build
# folders: <prefix>-x86_64, <prefix>-i686 and <prefix>-clang-x86_64.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh windows
start=$SECONDS
jobs=$(nproc)
base=$(realpath -m "${PELMORA_WINDOWS_BUILD:-build/windows}")
build64="$base-x86_64"
build32="$base-i686"

for tool in x86_64-w64-mingw32-g++-posix i686-w64-mingw32-g++-posix x86_64-w64-mingw32-windres \
            wineserver cmake ninja clang++; do
  command -v "$tool" >/dev/null || { echo "test-windows.sh: $tool is missing" >&2; exit 1; }
done
[[ -x /usr/lib/wine/wine64 ]] || command -v wine64 >/dev/null ||
  { echo "test-windows.sh: the wine64 loader is missing" >&2; exit 1; }

mkdir -p "$build64"
PELMORA_JOBS=$jobs bash tools/build-gtest-mingw.sh cmake/toolchain-mingw-x86_64.cmake "$build64/gtest-prefix"

# The prefix is booted before anything runs: test discovery starts the test
# programs at build time.
trap 'bash tools/wine-env.sh stop "$build64"' EXIT
bash tools/wine-env.sh start "$build64"

# Release: the program whose window is checked below is the one shipped
# (tools/build-windows-release.sh).
cmake -S . -B "$build64" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_WERROR=ON \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake \
  -DGTest_DIR="$build64/gtest-prefix/lib/cmake/GTest"
cmake --build "$build64" -j "$jobs"
ctest --test-dir "$build64" --output-on-failure -j "$jobs" --timeout 300

cmake -S . -B "$build32" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_TESTS=OFF -DPELMORA_WERROR=ON \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake
cmake --build "$build32" -j "$jobs"
# The Windows code by a second compiler, clang targeting MinGW-w64, warnings
# as errors: the program and the Windows test programs, compiled and linked.
buildclang="$base-clang-x86_64"
cmake -S . -B "$buildclang" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELMORA_WERROR=ON \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-clang-mingw-x86_64.cmake \
  -DGTest_DIR="$build64/gtest-prefix/lib/cmake/GTest" >/dev/null
clang_targets=(Pelmora PelmoraEventProbe window_probe windows_app_logic)
for test in tests/windows/*_test.cpp; do clang_targets+=("windows_$(basename "$test" _test.cpp)"); done
cmake --build "$buildclang" -j "$jobs" --target "${clang_targets[@]}"
# The program itself: its resources, and its window under Wine.
bash tools/test-windows-app.sh "$build64" "$build32"
echo "Windows stage passed in $((SECONDS - start)) s."
