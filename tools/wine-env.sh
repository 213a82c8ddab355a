#!/usr/bin/env bash
# A Wine environment for running the Windows test programs of one build
# folder: its own prefix <build>/wine-prefix, one persistent wineserver, and
# a prefix booted once with its output thrown away and checked to run a
# program before anything else starts. Wine's background
# services start with the first program of a fresh server; started by a test,
# they would inherit that test's output pipe and CTest would wait for them
# until its time-out.
#
#   source tools/wine-env.sh <build>     exports the variables, starts the
#                                        server and boots the prefix if needed
#   bash tools/wine-env.sh start <build> the same, from a script
#   bash tools/wine-env.sh stop <build>  ends that prefix's wineserver
#
# PELMORA_WINE_PERSIST: seconds an idle server stays up (default: until
# stopped). tools/wine-run.sh starts servers that end after 15 idle minutes.

pelmora_wine_export() {
  local build
  build=$(cd "$1" 2>/dev/null && pwd) || { echo "wine-env.sh: no build folder '$1'" >&2; return 1; }
  export WINEPREFIX="$build/wine-prefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export WINEARCH=win64
  PELMORA_WINE_LOADER=$(command -v wine64 || true)
  [[ -n $PELMORA_WINE_LOADER ]] || PELMORA_WINE_LOADER=/usr/lib/wine/wine64
  export PELMORA_WINE_LOADER
}

pelmora_wine_start() {
  mkdir -p "$1" || return 1
  pelmora_wine_export "$1" || return 1
  [[ -x $PELMORA_WINE_LOADER ]] || { echo "wine-env.sh: no wine64 loader (package wine64)" >&2; return 1; }
  command -v wineserver >/dev/null || { echo "wine-env.sh: no wineserver (package wine)" >&2; return 1; }
  mkdir -p "$WINEPREFIX"
  # Exit status 0: a new server; 2: one is already running for this prefix.
  local rc=0
  wineserver "-p${PELMORA_WINE_PERSIST:-}" || rc=$?
  if ((rc == 0)); then
    if [[ -f $WINEPREFIX/.pelmora-booted ]]; then
      "$PELMORA_WINE_LOADER" wineboot >/dev/null 2>&1 </dev/null || true
    else
      "$PELMORA_WINE_LOADER" wineboot -i >/dev/null 2>&1 </dev/null ||
        { echo "wine-env.sh: wineboot -i failed in $WINEPREFIX" >&2; return 1; }
      touch "$WINEPREFIX/.pelmora-booted"
    fi
    pelmora_wine_ready || return 1
  elif ((rc != 2)); then
    echo "wine-env.sh: wineserver did not start (status $rc)" >&2
    return 1
  fi
}

# wineboot returns before a new prefix can always run programs: on a machine
# where Wine was just installed the first program after it may end at once
# with nothing on its output. Wait until a builtin program answers.
pelmora_wine_ready() {
  local try answer
  for try in {1..30}; do
    answer=$("$PELMORA_WINE_LOADER" cmd.exe /c echo pelmora-ready </dev/null 2>/dev/null | tr -d '\r')
    [[ $answer == pelmora-ready ]] && return 0
    sleep 1
  done
  echo "wine-env.sh: programs do not start in $WINEPREFIX after wineboot (cmd.exe gave '${answer}')" >&2
  return 1
}

pelmora_wine_stop() {
  [[ -d $1 ]] || return 0
  pelmora_wine_export "$1" || return 1
  [[ -d $WINEPREFIX ]] || return 0
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}

if [[ ${BASH_SOURCE[0]} == "$0" ]]; then
  set -euo pipefail
  case "${1:-}" in
    start) pelmora_wine_start "${2:?build folder}" ;;
    stop) pelmora_wine_stop "${2:?build folder}" ;;
    *) echo "usage: $0 start|stop <build folder>" >&2; exit 2 ;;
  esac
else
  pelmora_wine_start "${1:?build folder}"
fi
