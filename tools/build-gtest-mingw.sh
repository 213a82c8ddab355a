#!/usr/bin/env bash
# Builds GoogleTest for Windows with a MinGW tool-chain file, from the
# sources of Debian's googletest package, and installs it into <prefix>.
# Skipped when <prefix> already holds a build. Then configure with
#   -DGTest_DIR=<prefix>/lib/cmake/GTest
#   bash tools/build-gtest-mingw.sh <toolchain file> <prefix>
set -euo pipefail
toolchain=$(realpath "${1:?usage: build-gtest-mingw.sh <toolchain file> <prefix>}")
prefix=$(realpath -m "${2:?usage: build-gtest-mingw.sh <toolchain file> <prefix>}")
src=/usr/src/googletest
if [[ -f $prefix/lib/cmake/GTest/GTestConfig.cmake && -f $prefix/lib/libgtest.a ]]; then
  exit 0
fi
[[ -f $src/CMakeLists.txt ]] || { echo "build-gtest-mingw.sh: no sources in $src (package googletest)" >&2; exit 1; }
work="$prefix.build"
rm -rf "$work"
cmake -S "$src" -B "$work" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=OFF >/dev/null
cmake --build "$work" -j "${PELMORA_JOBS:-$(nproc)}"
cmake --install "$work" >/dev/null
rm -rf "$work"
