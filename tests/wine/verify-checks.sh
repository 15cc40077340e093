#!/bin/bash
# /verify under Wine in a 64-bit prefix arranged so that every data source
# can work (a stand-in driver file in the 32-bit system folder, its
# ODBCINST.INI entry, the databases behind dosdevices/unc/VLKDATA01/VLK-Data),
# then without one database, then without the driver file. Sourced by
# run-wine-tests.sh (its check, in_prefix, $work and $wine64), or run on its
# own with a prefix of its own: tests/wine/verify-checks.sh BUILD_X86 BUILD_X64

# verify_checks LABEL PREFIX LOADER EXE
verify_checks() {
  local label=$1 prefix=$2 loader=$3 exe=$4 out=$work/verify.out status y l count=0
  local share=$prefix/dosdevices/unc/VLKDATA01/VLK-Data driver=$prefix/drive_c/windows/syswow64/odbcjt32.dll
  local key='HKLM\SOFTWARE\WOW6432node\ODBC\ODBCINST.INI\Microsoft Access Driver (*.mdb)'
  verify_run() {
    WINEPREFIX=$prefix timeout 120 env -u DISPLAY "$loader" "$exe" "$@" </dev/null 2>&1 | tr -d '\r' >"$out"
    status=${PIPESTATUS[0]}
  }
  verify_run /quiet
  for ((y = 2002; y <= $(date +%Y); y++)); do
    local dir=$share/MV-$y && [ "$y" = "$(date +%Y)" ] && dir=$share/Current
    mkdir -p "$dir" && for l in R R1 S S1 S2; do echo db >"$dir/Marvane-$l.mdb" && count=$((count + 1)); done
  done
  echo stand-in >"$driver"
  in_prefix "$prefix" "$wine64" reg add "$key" /v Driver /d 'C:\windows\system32\odbcjt32.dll' /f /reg:64 >/dev/null 2>&1

  verify_run /verify
  check "$label /verify with everything in place: exit 0 (was $status), $count lines ok" \
    [ "$status-$(grep -cE '^(Marvane|MV)[-0-9A-Z]+: ok$' "$out")" = "0-$count" ]
  rm "$share/MV-2003/Marvane-S1.mdb"
  verify_run /verify
  check "$label /verify without one database: exit 1 (was $status), that one named with its file" \
    [ "$status-$(grep ': error' "$out")" = '1-MV2003-S1: error: DBQ file \\VLKDATA01\VLK-Data\MV-2003\Marvane-S1.mdb: 2 (The system cannot find the file specified.)' ]
  rm "$driver"
  verify_run /verify
  check "$label /verify without the driver file: exit 1 (was $status), each named with the 32-bit driver path" \
    [ "$status-$(grep -c ': error: Driver file C:\\windows\\system32\\odbcjt32.dll, for 32-bit programs C:\\windows\\syswow64\\odbcjt32.dll: 2 ' "$out")" = "1-$count" ]
  rm -rf "$prefix/dosdevices/unc"
  in_prefix "$prefix" "$wine64" reg delete "$key" /f /reg:64 >/dev/null 2>&1
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -u
  passed=0 failed=0 wine64=/usr/lib/wine/wine64 wine32= work=$(mktemp -d "${TMPDIR:-/tmp}/marvane-verify.XXXXXX")
  check() { if "${@:2}"; then passed=$((passed + 1)) && echo "PASS $1"; else failed=$((failed + 1)) && echo "FAIL $1"; fi; }
  in_prefix() { WINEPREFIX=$1 timeout 60 "$2" "${@:3}" </dev/null; }
  trap 'WINEPREFIX=$work/p timeout 30 wineserver -k >/dev/null 2>&1; rm -rf "$work"' EXIT
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  if loaders=$(sh "$(dirname "$0")/../../cmake/wine32.sh" "$work" 2>"$work/no32"); then
    wine32=$(sed -n 1p <<<"$loaders") wine64=$(sed -n 2p <<<"$loaders")
  fi
  WINEPREFIX=$work/p WINEARCH=win64 timeout 300 "$wine64" wineboot -i </dev/null >/dev/null 2>&1
  WINEPREFIX=$work/p wineserver -p60 </dev/null >/dev/null 2>&1
  verify_checks "x64, 64-bit prefix," "$work/p" "$wine64" "$2/MarvaneSetup.exe"
  if [ -n "$wine32" ]; then verify_checks "x86, 64-bit prefix," "$work/p" "$wine32" "$1/MarvaneSetup.exe"
  else echo "SKIP x86 /verify: $(tail -n1 "$work/no32")"; fi
  echo "$passed passed, $failed failed"
  [ "$failed" = 0 ]
fi
