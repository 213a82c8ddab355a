#!/usr/bin/env bash
# Builds GoogleTest for Windows as static libraries, as the Windows test
# programs link (-static), and installs it into <prefix>. Skipped when
# <prefix> already holds a build. Then configure with
#   -DGTest_DIR=<prefix>/lib/cmake/GTest
#   bash tools/build-gtest-mingw.sh <toolchain file> <prefix>   cross, here
#   bash tools/build-gtest-mingw.sh native <prefix>             MSYS2's compiler, on Windows
# The sources are Debian's googletest package's, or PELMORA_GTEST_SRC.
set -euo pipefail
usage="usage: build-gtest-mingw.sh <toolchain file>|native <prefix>"
toolchain=${1:?$usage}
[[ $toolchain == native ]] && toolchain=() || toolchain=("-DCMAKE_TOOLCHAIN_FILE=$(realpath "$toolchain")")
prefix=$(realpath -m "${2:?$usage}")
src=${PELMORA_GTEST_SRC:-/usr/src/googletest}
if [[ -f $prefix/lib/cmake/GTest/GTestConfig.cmake && -f $prefix/lib/libgtest.a ]]; then
  exit 0
fi
[[ -f $src/CMakeLists.txt ]] || { echo "build-gtest-mingw.sh: no sources in $src (package googletest, or PELMORA_GTEST_SRC)" >&2; exit 1; }
work="$prefix.build"
rm -rf "$work"
cmake -S "$src" -B "$work" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  "${toolchain[@]}" -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DBUILD_SHARED_LIBS=OFF -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=OFF >/dev/null
cmake --build "$work" -j "${PELMORA_JOBS:-$(nproc)}"
cmake --install "$work" >/dev/null
rm -rf "$work"
