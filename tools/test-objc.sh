#!/usr/bin/env bash
# Compiles every Objective-C++ file of the macOS application with ARC
# against GNUstep's AppKit headers and the compatibility layer in
# tests/appkit_compat (Debian has no Apple SDK and no runtime that runs ARC
# code, so nothing here is run):
#   1. clang -fsyntax-only -Werror, with the warnings a Mac build has on;
#   2. clang -c to an object file;
#   3. clang --analyze with the Cocoa and Core Foundation checkers (retain
#      counts, dealloc, init), any finding failing the stage;
#   4. nm -u on each object: it calls the portable decisions it relies on,
#      so the files stay a thin layer over tested code;
#   5. the tree configured by CMake as for a Mac (clang aimed at Darwin, an
#      empty SDK, nothing built): every compile and link names the same
#      oldest system as the bundle's Info.plist, read with plistlib; by
#      default, with a target given, and a target too old refused.
# A retain cycle through a block held by a timer or a queue is not found by
# any of these; the files are reviewed for that by hand.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh objc
for tool in clang clang++ nm python3 cmake ninja gcc; do
  command -v "$tool" >/dev/null || { echo "test-objc.sh: $tool is missing" >&2; exit 1; }
done

build=${PELMORA_OBJC_BUILD:-build/objc}
mkdir -p "$build/obj"
bash tests/appkit_compat/generate_headers.sh "$build/gen"

# GNUstep declares some options (window collection behaviours, style masks)
# as separate anonymous enums, Apple as one option type; combining them is
# right on Apple's side, so that warning is GNUstep's alone.
flags=(-x objective-c++ -std=c++20 -fobjc-arc -fobjc-runtime=gnustep-2.0 -fblocks
       -isystem tests/appkit_compat/include -isystem "$build/gen" -isystem /usr/include/GNUstep -I.
       -Wall -Wextra -Wpedantic -Wundeclared-selector -Warc-repeated-use-of-weak -Wobjc-designated-initializers
       -Wshadow -Wno-deprecated-anon-enum-enum-conversion -Werror)
checkers=osx.cocoa,osx.coreFoundation

# The portable functions each file must call; a new .mm needs a line here.
declare -A needs=(
  [LCDSession]="SessionBridge::SessionBridge SessionBridge::takePixels mac::statisticsFields sim::demoHooks"
  [ContentView]="mac::windowTitle mac::chooseVersion mac::planScaleChange mac::cascadeOffset mac::layoutChrome
                 mac::standardButtonOrigin mac::contentSizeForScale mac::itemChecked mac::windowItemEnabled
                 mac::levelForTopmost mac::levelToRestoreAfterMiniaturize mac::isWholeFrame mac::frameImageLayout
                 mac::contextMenu"
  [Pelmora_macApp]="mac::TerminationGate::beginTermination mac::TerminationGate::firstReply mac::TerminationGate::replyDue
                    mac::mainMenu mac::aboutCredits mac::chooseVersion host::uiLanguageFromPreferences
                    host::parseProgramOptions"
)

failed=0
count=0
for source in Pelmora_mac/*.mm; do
  name=$(basename "$source" .mm)
  object="$build/obj/$name.o"
  count=$((count + 1))
  echo "== $source"
  clang++ "${flags[@]}" -fsyntax-only "$source" || { failed=1; continue; }
  clang++ "${flags[@]}" -c "$source" -o "$object" || { failed=1; continue; }
  clang++ "${flags[@]}" --analyze -Xanalyzer -analyzer-checker="$checkers" -Xanalyzer -analyzer-werror \
    -o /dev/null "$source" || failed=1
  if [[ -z ${needs[$name]+x} ]]; then
    echo "test-objc.sh: no list of portable calls for $source" >&2
    failed=1
    continue
  fi
  undefined=$(nm -uC "$object")
  for symbol in ${needs[$name]}; do
    grep -qF "pelmora::$symbol(" <<<"$undefined" || grep -qF "pelmora::$symbol[" <<<"$undefined" || {
      echo "test-objc.sh: $object does not call pelmora::$symbol" >&2
      failed=1
    }
  done
done
((count > 0)) || { echo "test-objc.sh: no Objective-C++ files found" >&2; exit 1; }

# Darwin as the target, clang as every compiler; nothing is built.
apple="$build/apple"
rm -rf "$apple/tree" && mkdir -p "$apple/sdk"
configure_for_mac() {
  local flags=(-DCMAKE_SYSTEM_NAME=Darwin -DCMAKE_OSX_SYSROOT="$(cd "$apple/sdk" && pwd)"
               -DCMAKE_C_COMPILER="$(command -v clang)" -DCMAKE_CXX_COMPILER="$(command -v clang++)"
               -DCMAKE_OBJCXX_COMPILER="$(command -v clang++)") lang
  for lang in C CXX OBJCXX; do flags+=(-DCMAKE_${lang}_COMPILER_TARGET=x86_64-apple-darwin); done
  cmake -S . -B "$apple/tree" -G Ninja "${flags[@]}" -DCMAKE_TRY_COMPILE_TARGET_TYPE=STATIC_LIBRARY -DCMAKE_INSTALL_NAME_TOOL=/bin/true \
    -DPELMORA_TESTS=OFF -DPELMORA_LINUX_APP=OFF "$@" >"$apple/configure.log" 2>&1 || { cat "$apple/configure.log" >&2; return 1; }
}
minimum=$(sed -n 's/^set(PELMORA_MAC_MINIMUM_SYSTEM \(.*\))$/\1/p' Pelmora_mac/bundle_info.cmake)
{ configure_for_mac && python3 tests/appkit_compat/check_info_plist.py "$apple/tree" "$minimum" &&
  configure_for_mac -DCMAKE_OSX_DEPLOYMENT_TARGET=11.0 && python3 tests/appkit_compat/check_info_plist.py "$apple/tree" 11.0 &&
  ! configure_for_mac -DCMAKE_OSX_DEPLOYMENT_TARGET=10.12 2>/dev/null; } || failed=1

if ((failed)); then
  echo "test-objc.sh: FAILED" >&2
  exit 1
fi
echo "test-objc.sh: $count Objective-C++ files compiled and analyzed, the Mac build's deployment target checked."
