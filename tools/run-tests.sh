#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test:
#   1. gcc with AddressSanitizer and UndefinedBehaviorSanitizer: all tests, the
#      session and simulator ones also linked as on a Mac (label macflavour)
#   2. clang with ThreadSanitizer: the session bridge tests
#   3. clang with libFuzzer: a short, fixed-count fuzz run
#   4. Windows: cross-built with MinGW-w64, tests run under Wine, then the
#      simulated HID device under Wine (tools/test-windows.sh, test-windows-device.sh)
#   5. the Linux transport and discovery on a real kernel, booted under QEMU
#   6. every C++ file of the macOS build, compiled for arm64 and x86_64 at the
#      oldest macOS against Apple's C and C++ library headers (tools/test-apple-target.sh)
#   7. the Objective-C++ of the macOS app, checked against GNUstep's headers
#   8. the Debian package and the run-time package set, from the Release
#      build of the whole tree (tools/test-package.sh)
#   9. the CI workflow files, against the workflow schema (tools/check-workflows.sh)
# Warnings are errors in every build here (PELMORA_WERROR), not in a user's.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh
jobs=$(nproc)

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=g++ \
  -DPELMORA_SANITIZE=ON -DPELMORA_WERROR=ON
cmake --build build/asan -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build/asan --output-on-failure -j "$jobs" --timeout 600

cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_COMPILER=clang -DPELMORA_TSAN=ON -DPELMORA_LINUX_APP=OFF -DPELMORA_WERROR=ON
cmake --build build/tsan -j "$jobs" --target tsan_tests
ctest --test-dir build/tsan --output-on-failure -j "$jobs" -L tsan --timeout 600

cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_COMPILER=clang -DPELMORA_FUZZ=ON -DPELMORA_SANITIZE=ON -DPELMORA_LINUX_APP=OFF -DPELMORA_WERROR=ON
cmake --build build/fuzz -j "$jobs" --target fuzz_report_stream fuzz_capture_file fuzz_trace_file
ctest --test-dir build/fuzz --output-on-failure -L fuzz --timeout 600
bash tools/test-windows.sh
bash tools/test-windows-device.sh
bash tools/test-kernel.sh
bash tools/test-apple-target.sh
bash tools/test-objc.sh
bash tools/test-package.sh
bash tools/check-workflows.sh
echo "All tests passed."
