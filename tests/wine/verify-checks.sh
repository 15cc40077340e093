#!/bin/bash
# /verify under Wine: a 64-bit prefix arranged so that every data source can
# work (a stand-in driver file in the 32-bit system folder, its ODBCINST.INI
# entry, the databases behind the prefix's dosdevices/unc/VLKDATA01/VLK-Data
# folder), then one database taken away, then the driver file.
#
# Sourced by run-wine-tests.sh, which calls verify_checks with its own
# prefix, check and in_prefix. Run on its own against the built exes:
#
#   tests/wine/verify-checks.sh BUILD_X86 BUILD_X64
#
# it boots a prefix of its own (with its 32-bit half where Wine's 32-bit
# loader runs here, else the x86 exe is skipped with the reason).

readonly VERIFY_SERVER=VLKDATA01 # DataServerName in src/setup/DataSources.h
readonly VERIFY_DRIVER_KEY='HKLM\SOFTWARE\WOW6432node\ODBC\ODBCINST.INI\Microsoft Access Driver (*.mdb)'

# verify_checks LABEL PREFIX LOADER EXE: LOADER runs EXE; the prefix's own
# tools run with wine64.
verify_checks() {
  local label=$1 prefix=$2 loader=$3 exe=$4 out=$work/verify.out status
  local share=$prefix/dosdevices/unc/$VERIFY_SERVER/VLK-Data
  local driver=$prefix/drive_c/windows/syswow64/odbcjt32.dll
  local year suffix y databases=()
  year=$(date +%Y)
  for suffix in R R1 S S1 S2; do databases+=("Current/Marvane-$suffix.mdb"); done
  for ((y = 2002; y < year; y++)); do
    for suffix in R R1 S S1 S2; do databases+=("MV-$y/Marvane-$suffix.mdb"); done
  done
  verify_run() { # sets status; the lines in $out
    WINEPREFIX=$prefix timeout 120 env -u DISPLAY "$loader" "$exe" /verify "$@" </dev/null >"$out.crlf" 2>&1
    status=$?
    tr -d '\r' <"$out.crlf" >"$out"
  }

  WINEPREFIX=$prefix timeout 120 env -u DISPLAY "$loader" "$exe" /quiet </dev/null >/dev/null 2>&1
  for y in "${databases[@]}"; do mkdir -p "$share/$(dirname "$y")" && echo stand-in >"$share/$y"; done
  echo stand-in >"$driver"
  in_prefix "$prefix" "$wine64" reg add "$VERIFY_DRIVER_KEY" /v Driver /d 'C:\windows\system32\odbcjt32.dll' \
    /f /reg:64 >/dev/null 2>&1

  verify_run
  check "$label /verify with everything in place: exit 0 (was $status)" [ "$status" = 0 ]
  check "$label /verify says ok for each of the ${#databases[@]} data sources" \
    [ "$(grep -cE '^(Marvane|MV)[-0-9A-Z]+: ok$' "$out")" = "${#databases[@]}" ]

  rm "$share/MV-2003/Marvane-S1.mdb"
  verify_run
  check "$label /verify without one database: exit 1 (was $status)" [ "$status" = 1 ]
  check "$label /verify names that data source and its file, and only it" bash -c \
    "[ \$(grep -c ': error' '$out') = 1 ] && grep -qF 'MV2003-S1: error: DBQ file \\\\$VERIFY_SERVER\\VLK-Data\\MV-2003\\Marvane-S1.mdb: 2 ' '$out'"

  rm "$driver"
  verify_run
  check "$label /verify without the driver file: exit 1 (was $status)" [ "$status" = 1 ]
  check "$label /verify names every data source with the driver file as 32-bit programs load it" \
    [ "$(grep -c ': error: Driver file C:\\windows\\system32\\odbcjt32.dll, for 32-bit programs C:\\windows\\syswow64\\odbcjt32.dll: 2 ' "$out")" = "${#databases[@]}" ]

  rm -rf "$prefix/dosdevices/unc"
  in_prefix "$prefix" "$wine64" reg delete "$VERIFY_DRIVER_KEY" /f /reg:64 >/dev/null 2>&1
}

# On its own: a prefix, the helpers the runner would give, both exes.
if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -u
  if [ $# -ne 2 ]; then
    echo "usage: $0 BUILD_X86 BUILD_X64" >&2
    exit 2
  fi
  passed=0 failed=0
  check() {
    local name=$1
    shift
    if "$@"; then passed=$((passed + 1)) && echo "PASS $name"; else failed=$((failed + 1)) && echo "FAIL $name"; fi
  }
  in_prefix() {
    local prefix=$1 loader=$2
    shift 2
    WINEPREFIX=$prefix timeout 60 "$loader" "$@" </dev/null
  }
  work=$(mktemp -d "${TMPDIR:-/tmp}/marvane-verify.XXXXXX")
  trap 'WINEPREFIX=$work/win64 timeout 30 wineserver -k >/dev/null 2>&1; rm -rf "$work"' EXIT
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  wine64=/usr/lib/wine/wine64 wine32=
  if loaders=$(sh "$(dirname "$0")/../../cmake/wine32.sh" "$work" 2>"$work/wine32-reason"); then
    wine32=$(sed -n 1p <<<"$loaders") wine64=$(sed -n 2p <<<"$loaders")
  fi
  WINEPREFIX=$work/win64 WINEARCH=win64 timeout 300 "$wine64" wineboot -i </dev/null >/dev/null 2>&1
  WINEPREFIX=$work/win64 wineserver -p60 </dev/null >/dev/null 2>&1
  verify_checks "x64, 64-bit prefix," "$work/win64" "$wine64" "$2/MarvaneSetup.exe"
  if [ -n "$wine32" ]; then
    verify_checks "x86, 64-bit prefix," "$work/win64" "$wine32" "$1/MarvaneSetup.exe"
  else
    echo "SKIP x86 /verify: $(tail -n1 "$work/wine32-reason")"
  fi
  echo "$passed passed, $failed failed"
  [ "$failed" = 0 ]
fi
