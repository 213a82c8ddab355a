#!/usr/bin/env bash
# Compiles every Objective-C++ file of the macOS application with ARC
# against GNUstep's AppKit headers and the compatibility layer in
# tests/appkit_compat (Debian has no Apple SDK and no runtime that runs ARC
# code, so nothing here is run):
#   1. clang -fsyntax-only -Werror, with the warnings a Mac build has on,
#      once as here and once aimed at the oldest macOS the bundle names, so
#      that a call newer than it, or deprecated at it, fails as under Xcode
#      (the layer declares nullability, window levels, option sets and
#      availability as Apple's headers do; strictness_probes.mm checks that
#      it keeps failing where Xcode fails);
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

flags=(-x objective-c++ -std=c++20 -fobjc-arc -fobjc-runtime=gnustep-2.0 -fblocks
       -isystem tests/appkit_compat/include -isystem "$build/gen" -isystem /usr/include/GNUstep -I.
       -Wall -Wextra -Wpedantic -Wundeclared-selector -Warc-repeated-use-of-weak -Wobjc-designated-initializers
       -Wshadow -Werror)
checkers=osx.cocoa,osx.coreFoundation

# The same headers with clang aimed at the oldest macOS, for availability:
# Debian's C and C++ headers in the order clang searches them for this
# machine, glibc's GNU declarations asked for as g++ does on Linux, and the
# nullability keyword macros a Darwin target predefines taken back (glibc
# uses __nonnull for its own attribute). GNUstep's runtime ABI 2 needs ELF;
# 1.9 is accepted for Mach-O, and only the parse matters.
minimum_macos=$(sed -n 's/^set(PELMORA_MAC_MINIMUM_SYSTEM \(.*\))$/\1/p' Pelmora_mac/bundle_info.cmake)
[[ -n $minimum_macos ]] || { echo "test-objc.sh: no minimum system in Pelmora_mac/bundle_info.cmake" >&2; exit 1; }
host_includes=()
while read -r dir; do host_includes+=(-isystem "$dir"); done < <(
  clang++ -x c++ -std=c++20 -E -v - </dev/null 2>&1 | sed -n '/^#include <...> search starts here:$/,/^End of search list.$/{s/^ //p}')
((${#host_includes[@]})) || { echo "test-objc.sh: clang++ named no include directories" >&2; exit 1; }
mac_flags=("${flags[@]/-fobjc-runtime=gnustep-2.0/-fobjc-runtime=gnustep-1.9}"
           --target="x86_64-apple-macos$minimum_macos" -nostdinc -nostdinc++ "${host_includes[@]}"
           -U__nonnull -D_GNU_SOURCE -Wunguarded-availability)

# The layer must keep failing where Xcode fails: each probe of
# strictness_probes.mm must be refused with its diagnostic.
declare -A probes=(
  [NULLABLE_INIT]="conflicting nullability specifier on return types"
  [LEVEL_AS_CONSTANT]="not an integral constant expression"
  [NEWER_THAN_MINIMUM]="is only available on macOS 14.0 or newer"
  [DEPRECATED_NAME]="'NSTitledWindowMask' is deprecated: first deprecated in macOS 10.12"
)
for probe in "${!probes[@]}"; do
  if out=$(clang++ "${mac_flags[@]}" -DPROBE_$probe -fsyntax-only tests/appkit_compat/strictness_probes.mm 2>&1); then
    echo "test-objc.sh: probe $probe compiled; the layer no longer fails where Xcode does" >&2
    exit 1
  fi
  grep -qF -- "${probes[$probe]}" <<<"$out" || {
    echo "test-objc.sh: probe $probe failed otherwise than with \"${probes[$probe]}\":" >&2
    echo "$out" >&2
    exit 1
  }
done

# The portable functions each file must call; a new .mm needs a line here.
declare -A needs=(
  [LCDSession]="SessionBridge::SessionBridge SessionBridge::takePixels mac::statisticsFields sim::demoHooks
                trace::ProgramRecording::takeFailure"
  [ContentView]="mac::windowTitle mac::chooseVersion mac::planScaleChange mac::cascadeOffset mac::layoutChrome
                 mac::standardButtonOrigin mac::contentSizeForScale mac::itemChecked mac::windowItemEnabled
                 mac::levelForTopmost mac::levelToRestoreAfterMiniaturize mac::isWholeFrame mac::frameImageLayout
                 mac::contextMenu mac::firstScale mac::scaledPicture mac::pictureNoticeText host::screenshotPath"
  [Pelmora_macApp]="mac::TerminationGate::beginTermination mac::TerminationGate::firstReply mac::TerminationGate::replyDue
                    mac::mainMenu mac::aboutCredits mac::chooseVersion host::uiLanguageFromPreferences
                    host::parseProgramOptions host::programHelpText"
)

failed=0
count=0
for source in Pelmora_mac/*.mm; do
  name=$(basename "$source" .mm)
  object="$build/obj/$name.o"
  count=$((count + 1))
  echo "== $source"
  clang++ "${flags[@]}" -fsyntax-only "$source" || { failed=1; continue; }
  clang++ "${mac_flags[@]}" -fsyntax-only "$source" || { failed=1; continue; }
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
  configure_for_mac -DCMAKE_OSX_DEPLOYMENT_TARGET=12.0 && python3 tests/appkit_compat/check_info_plist.py "$apple/tree" 12.0 &&
  ! configure_for_mac -DCMAKE_OSX_DEPLOYMENT_TARGET=10.15 2>/dev/null; } || failed=1

if ((failed)); then
  echo "test-objc.sh: FAILED" >&2
  exit 1
fi
echo "test-objc.sh: $count Objective-C++ files compiled and analyzed, the Mac build's deployment target checked."
