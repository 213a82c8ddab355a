# Cross-building for 64-bit Windows with Debian's MinGW-w64 "-posix"
# compilers (the win32 thread model has no std::thread or std::mutex).
# Test programs run under Wine through tools/wine-run.sh.
#   cmake -S . -B build/windows-x86_64 -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-x86_64.cmake
set(PELMORA_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh)
