# Cross-building for 32-bit Windows with Debian's MinGW-w64 "-posix"
# compilers. Nothing built here can run on this machine (Wine's 32-bit half
# is not installed), so there is no emulator: build with -DPELMORA_TESTS=OFF.
#   cmake -S . -B build/windows-i686 -G Ninja -DCMAKE_BUILD_TYPE=Release \
#     -DPELMORA_TESTS=OFF -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake
set(PELMORA_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
