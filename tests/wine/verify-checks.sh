# shellcheck shell=bash
# /verify under Wine in a 64-bit prefix arranged so that every data source
# can work (a stand-in driver file in the 32-bit system folder, its
# ODBCINST.INI entry, the databases behind dosdevices/unc/VLKDATA01/VLK-Data),
# then without one database, with a folder and a FIFO for two, with the
# share not answering, then without the driver file. Sourced by
# run-wine-tests.sh (its check, in_prefix, $work and $wine64).
: "${work:?run-wine-tests.sh sets the scratch folder}"
: "${wine64:?run-wine-tests.sh chooses the 64-bit loader}"

# verify_run PREFIX LOADER EXE OUT ARGS...: sets status, the output in OUT.
verify_run() {
  local prefix=$1 loader=$2 exe=$3 out=$4
  shift 4
  WINEPREFIX=$prefix timeout 120 env -u DISPLAY "$loader" "$exe" "$@" </dev/null 2>&1 | tr -d '\r' >"$out"
  status=${PIPESTATUS[0]}
}

# verify_checks LABEL PREFIX LOADER EXE
verify_checks() {
  local label=$1 prefix=$2 loader=$3 exe=$4 out=$work/verify.out status y l count=0 fifo
  local share=$prefix/dosdevices/unc/VLKDATA01/VLK-Data driver=$prefix/drive_c/windows/syswow64/odbcjt32.dll
  local key='HKLM\SOFTWARE\WOW6432node\ODBC\ODBCINST.INI\Microsoft Access Driver (*.mdb)'
  verify_run "$prefix" "$loader" "$exe" "$out" /quiet
  for ((y = 2002; y <= $(date +%Y); y++)); do
    local dir=$share/MV-$y && [ "$y" = "$(date +%Y)" ] && dir=$share/Current
    mkdir -p "$dir" && for l in R R1 S S1 S2; do echo db >"$dir/Marvane-$l.mdb" && count=$((count + 1)); done
  done
  echo stand-in >"$driver"
  in_prefix "$prefix" "$wine64" reg add "$key" /v Driver /d 'C:\windows\system32\odbcjt32.dll' /f /reg:64 >/dev/null 2>&1

  verify_run "$prefix" "$loader" "$exe" "$out" /verify
  check "$label /verify with everything in place: exit 0 (was $status), $count lines ok" \
    [ "$status-$(grep -cE '^(Marvane|MV)[-0-9A-Z]+: ok$' "$out")" = "0-$count" ]
  rm "$share/MV-2003/Marvane-S1.mdb"
  verify_run "$prefix" "$loader" "$exe" "$out" /verify
  check "$label /verify without one database: exit 1 (was $status), that one named with its file" \
    [ "$status-$(grep ': error' "$out")" = '1-MV2003-S1: error: DBQ file \\VLKDATA01\VLK-Data\MV-2003\Marvane-S1.mdb: 2 (The system cannot find the file specified.)' ]
  rm "$share/MV-2004/Marvane-R.mdb" "$share/MV-2004/Marvane-R1.mdb"
  mkdir "$share/MV-2004/Marvane-R.mdb" && mkfifo "$share/MV-2004/Marvane-R1.mdb"
  verify_run "$prefix" "$loader" "$exe" "$out" /verify
  check "$label /verify with a folder for a database: not a regular file" \
    grep -q '^MV2004-R: error: DBQ file .*: a folder, not a regular file$' "$out"
  fifo=$(grep '^MV2004-R1: ' "$out")
  case $fifo in
    *': a device or pipe, not a regular file') pass "$label /verify with a FIFO for a database: not a regular file" ;;
    *': 87 (The parameter is incorrect.)' | *': ok')
      skip "$label /verify with a FIFO for a database: Wine does not show a Unix FIFO as a device (said \"${fifo#*: }\")" ;;
    *) fail "$label /verify with a FIFO for a database: not a regular file (was \"$fifo\")" ;;
  esac
  if hang_folder "$share"; then
    verify_run "$prefix" "$loader" "$exe" "$out" /verify
    check "$label /verify with a share that never answers: ends by itself (exit 1, was $status), each says so" \
      [ "$(grep -c 'VLK-Data did not answer within 5 s$' "$out")-$status" = "$count-1" ]
    release_folder
  else
    skip "$label /verify with a share that never answers: no FUSE mount here (bindfs, and /dev/fuse writable)"
  fi
  rm "$driver"
  verify_run "$prefix" "$loader" "$exe" "$out" /verify
  check "$label /verify without the driver file: exit 1 (was $status), each named with the 32-bit driver path" \
    [ "$status-$(grep -c ': error: Driver file C:\\windows\\system32\\odbcjt32.dll, for 32-bit programs C:\\windows\\syswow64\\odbcjt32.dll: 2 ' "$out")" = "1-$count" ]
  rm -rf "$prefix/dosdevices/unc"
  in_prefix "$prefix" "$wine64" reg delete "$key" /f /reg:64 >/dev/null 2>&1
}

