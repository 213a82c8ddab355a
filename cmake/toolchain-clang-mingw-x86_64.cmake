# Cross-building for 64-bit Windows with clang instead of GCC, against the
# same MinGW-w64 headers and libraries and GCC's C++ library from Debian's
# mingw-w64 packages: the Windows code checked by a second compiler
# (tools/test-windows.sh builds it with warnings as errors; it runs nothing
# at build time, so test discovery waits for CTest).
#   cmake -S . -B build/windows-clang-x86_64 -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-clang-mingw-x86_64.cmake
set(PELMORA_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET x86_64-w64-windows-gnu)
set(CMAKE_CXX_COMPILER_TARGET x86_64-w64-windows-gnu)
set(CMAKE_AR ${PELMORA_MINGW_TRIPLE}-ar CACHE FILEPATH "" FORCE)
set(CMAKE_RANLIB ${PELMORA_MINGW_TRIPLE}-ranlib CACHE FILEPATH "" FORCE)
set(CMAKE_SYSROOT /usr/${PELMORA_MINGW_TRIPLE})
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)

# clang does not find GCC's C++ headers in Debian's "<version>-posix" folder.
file(GLOB _pelmora_gcc_dirs /usr/lib/gcc/${PELMORA_MINGW_TRIPLE}/*-posix)
list(SORT _pelmora_gcc_dirs COMPARE NATURAL)
list(POP_BACK _pelmora_gcc_dirs _pelmora_gcc)
if(NOT _pelmora_gcc)
  message(FATAL_ERROR "No /usr/lib/gcc/${PELMORA_MINGW_TRIPLE}/*-posix (package g++-mingw-w64-x86-64-posix)")
endif()
set(CMAKE_CXX_FLAGS_INIT
    "-nostdinc++ -isystem ${_pelmora_gcc}/include/c++ -isystem ${_pelmora_gcc}/include/c++/${PELMORA_MINGW_TRIPLE}")
# LLVM's linker (GNU ld warns at every link about type names that clang and
# GCC lay out in sections of different sizes), GCC's libraries, and the POSIX
# threads that GCC's thread-local emulation needs. -nostdinc++ is a compile
# flag that CMake passes to the link as well.
set(_pelmora_link "-fuse-ld=lld -L${_pelmora_gcc} -Wno-unused-command-line-argument")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${_pelmora_link}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${_pelmora_link}")
set(CMAKE_CXX_STANDARD_LIBRARIES "-lpthread")
set(CMAKE_C_STANDARD_LIBRARIES "-lpthread")
