#!/usr/bin/env bash
# Runs a Windows program of a build folder under Wine: the emulator that the
# MinGW tool chain gives CMake and CTest. The build folder is the nearest
# folder above the program that holds a CMakeCache.txt; its Wine prefix is
# prepared by tools/wine-env.sh when no server is running for it.
#
# Every failure is explained on standard output as well: GoogleTest's test
# discovery keeps only that, so a program that Wine could not start would
# otherwise leave nothing but "Result: 1, Output: (empty)". A test listing
# (--gtest_list_tests) that fails with no output is retried after the prefix
# is booted again: on a machine where Wine was just installed, the first
# programs may start before the new prefix is fully set up.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
say() { echo "wine-run.sh: $*"; }
exe=${1:-}
[[ -n $exe ]] || { say "usage: wine-run.sh <program.exe> [arguments]"; exit 2; }
[[ -f $exe ]] || { say "$exe does not exist"; exit 2; }
dir=$(cd "$(dirname "$exe")" && pwd)
build=$dir
while [[ $build != / && ! -f $build/CMakeCache.txt ]]; do build=$(dirname "$build"); done
[[ -f $build/CMakeCache.txt ]] || { say "$exe is not in a build folder"; exit 2; }

log=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX") || { say "mktemp failed"; exit 2; }
out="$log.out"
trap 'rm -f "$log" "$out"' EXIT
# Wine's own complaints: shown on standard error as they come, and kept for
# the explanation of a failure.
tail_of() { [[ -s $1 ]] && sed 's/^/  | /' "$1" | tail -n 15; }

PELMORA_WINE_PERSIST=${PELMORA_WINE_PERSIST:-900}
# shellcheck source=wine-env.sh
if ! source "$here/wine-env.sh" "$build" 2>"$log"; then
  say "could not prepare Wine for $build (prefix ${WINEPREFIX:-unknown}):"
  tail_of "$log"
  exit 2
fi

listing=0
for arg in "$@"; do [[ $arg == --gtest_list_tests ]] && listing=1; done

# A test program that failed without writing a single line never reached
# its main (Wine's loader failed to start it, seen about once in a few
# thousand runs); it is started once more. One that wrote anything failed
# on its own and is not retried.
attempts=2
((listing)) && attempts=3
for ((attempt = 1; ; attempt++)); do
  : >"$log"
  if ((listing)); then
    "$PELMORA_WINE_LOADER" "$@" </dev/null >"$out" 2> >(tee -a "$log" >&2)
    status=$?
    cat "$out"
  else
    "$PELMORA_WINE_LOADER" "$@" > >(tee "$out") 2> >(tee -a "$log" >&2)
    status=$?
  fi
  wait  # the tee behind standard error
  ((status == 0)) && exit 0
  sleep 0.1  # and the one behind standard output, which wait may not count
  if ((attempt < attempts)) && [[ ! -s $out ]]; then
    echo "wine-run.sh: $exe wrote nothing (status $status); starting it again, attempt $((attempt + 1))" >&2
    # Booting the prefix again would disturb the programs running beside
    # this one; only a listing, which runs before any of them, does.
    ((listing)) && "$PELMORA_WINE_LOADER" wineboot >/dev/null 2>&1 </dev/null
    sleep $((attempt * 2))
    continue
  fi
  break
done

case $status in
  126 | 127) why="Wine's loader $PELMORA_WINE_LOADER could not be started" ;;
  53) why="Wine did not find the program or a DLL it needs" ;;
  *) why="ended with status $status" ;;
esac
tries=""
((listing)) && tries=", after $attempt attempts"
say "$exe $why (under Wine, prefix $WINEPREFIX$tries)"
if [[ -s $log ]]; then
  say "its standard error ended with:"
  tail_of "$log"
elif ((listing)); then
  say "nothing on its standard error; once more with Wine's error messages on:"
  WINEDEBUG=err+all "$PELMORA_WINE_LOADER" "$@" </dev/null >/dev/null 2>"$log"
  tail_of "$log" || say "  (still nothing)"
else
  say "nothing on its standard error (WINEDEBUG=$WINEDEBUG hides Wine's own messages)"
fi
exit "$status"
