#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine, as CTest's emulator:
#   wine-run.sh PROGRAM.exe [ARGS...]
# Picks the Wine loader for the program's bitness, keeps Wine quiet and uses
# a prefix of the build's own (WINEPREFIX when set, else wineprefix-win64 in
# the build tree above the program), made on first use.
#
# A 32-bit program runs with Wine's 32-bit loader, natively or under
# qemu-i386 (cmake/wine32.sh). Exits 77 (a skip for CTest), with the reason,
# when this machine can do neither. The loaders are chosen by tests/lib.sh.
set -eu
# shellcheck source=../tests/lib.sh
. "$(dirname "$0")/../tests/lib.sh"

exe=$1
shift

# The PE machine field: 0x014c for i386, 0x8664 for x86-64.
pe_machine() {
  offset=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  od -An -tx2 -j$((offset + 4)) -N2 "$1" | tr -d ' '
}

# The build tree above the program.
build=$(cd "$(dirname "$exe")" && pwd)
while [ "$build" != / ] && [ ! -f "$build/CMakeCache.txt" ]; do build=$(dirname "$build"); done
[ "$build" = / ] && build=$(cd "$(dirname "$exe")" && pwd)

case $(pe_machine "$exe") in
  8664) loader=$(wine64_loader) boot_loader=$loader ;;
  014c)
    status=0
    wine32_loaders "$build" || status=$?
    if [ $status -ne 0 ]; then
      echo "wine-run: skipping $(basename "$exe")" >&2
      exit $status
    fi
    loader=$wine32_loader boot_loader=$wine32_boot_loader
    ;;
  *) echo "wine-run: $exe is not a Windows program" >&2; exit 2 ;;
esac

WINEPREFIX=${WINEPREFIX:-$build/wineprefix-win64}
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

# One boot of the prefix, even when CTest starts several tests at once. Then
# a wine server that outlives each program by a while, so that later
# programs start at once.
mkdir -p "$WINEPREFIX"
(
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    WINEARCH=win64 timeout 300 "$boot_loader" wineboot -i </dev/null >/dev/null 2>&1 9>&- || true
    timeout 60 wineserver -w 9>&- || true
  fi
  # (The lock must not pass to the server, which would hold it.)
  wineserver -p30 </dev/null >/dev/null 2>&1 9>&- || true
) 9>"$WINEPREFIX.lock"

# Wine's own processes started along with the program inherit its output:
# it goes through a file so that nothing but this script holds CTest's pipe.
output=$(mktemp)
trap 'rm -f "$output"' EXIT
status=0
"$loader" "$exe" "$@" </dev/null >"$output" 2>&1 || status=$?
# Every test program prints something. Failing without a word means Wine did
# not start it at all, which happened here once in a few dozen runs, to a
# test started just as the prefix's first boot ended: it is tried once more,
# and said.
if [ $status -ne 0 ] && [ ! -s "$output" ]; then
  echo "wine-run: Wine did not start $(basename "$exe") (status $status, no output); trying once more"
  sleep 1
  status=0
  "$loader" "$exe" "$@" </dev/null >"$output" 2>&1 || status=$?
fi
cat "$output"
exit $status
