# shellcheck shell=bash
# The program as a deployment tool runs it, in the 64-bit prefix without a
# display; sourced by run-wine-tests.sh after prefixes.sh, runs.sh and
# registry-checks.sh.
: "${work:?run-wine-tests.sh sets the scratch folder}"
: "${p64:?run-wine-tests.sh names the 64-bit prefix}"
: "${wine64:?run-wine-tests.sh chooses the 64-bit loader}"

# run_plain LOADER EXE ARGS...: in the 64-bit prefix, no display and no boxes
# to close; sets plain_status, with the output in $work/plain.out.
run_plain() {
  local loader=$1 exe=$2
  shift 2
  WINEPREFIX=$p64 timeout "$RUN_TIMEOUT" env -u DISPLAY "$loader" "$exe" "$@" </dev/null >"$work/plain.out" 2>&1
  plain_status=$?
}

CR=$'\r' # the log's lines end in CRLF
# last_line_says FILE TEXT
last_line_says() { tail -n 1 "$1" | grep -q "$2"; }

# hand_value_kept: the data source that a removal left still has its entry
# and the value added by hand.
hand_value_kept() {
  in_prefix "$p64" "$wine64" reg query "$WOW_BRANCH\\ODBC Data Sources" /v Marvane-S /reg:64 >/dev/null 2>&1 &&
    in_prefix "$p64" "$wine64" reg query "$WOW_BRANCH\\Marvane-S" /v PWD /reg:64 >/dev/null 2>&1
}

# deploy_checks LABEL LOADER EXE: the switches a deployment tool uses, in the
# 64-bit prefix with no display at all for the unattended ones: a detection,
# an install with a log, a detection, a removal that brings the branch back,
# and a second removal.
deploy_checks() {
  local label=$1 loader=$2 exe=$3 log=$p64/drive_c/deploy.log
  restore_wow
  rm -f "$log"
  # As on Windows, where these keys are there before any data source is.
  in_prefix "$p64" "$wine64" reg add "$WOW_BRANCH\\ODBC Data Sources" /f /reg:64 >/dev/null 2>&1
  export_key "$p64" "$wine64" "$WOW_BRANCH" "$work/deploy-before" /reg:64
  run_plain "$loader" "$exe" /check
  check "$label /check before the install: exit 1 (was $plain_status)" [ "$plain_status" = 1 ]
  check "$label /check lists the missing data sources on standard output" grep -q '^MV2002-R: missing' "$work/plain.out"
  run_plain "$loader" "$exe" /quiet /log 'C:\deploy.log'
  check "$label /quiet without a display: exit 0 (was $plain_status)" [ "$plain_status" = 0 ]
  check_wow_run "$label /quiet" 'C:\windows\system32\odbcjt32.dll'
  local registered
  registered=$(grep -c ': registered' "$log")
  # shellcheck disable=SC2154 # names: registry-checks.sh's
  check "$label /log: a line per data source ($registered of ${#names[@]} registered)" [ "$registered" = "${#names[@]}" ]
  check "$label /log: its last line says exit status 0" last_line_says "$log" 'exit status 0'
  run_plain "$loader" "$exe" -CHECK
  check "$label /check after the install: exit 0 (was $plain_status)" [ "$plain_status" = 0 ]
  # A value this program does not write: that data source is left, as it is,
  # with a warning; every one that is this program's is removed: done.
  in_prefix "$p64" "$wine64" reg add "$WOW_BRANCH\\Marvane-S" /v PWD /t REG_SZ /d secret /f /reg:64 >/dev/null 2>&1
  run_plain "$loader" "$exe" /remove /q /log 'C:\deploy.log'
  check "$label /remove with a value added by hand: exit 0 (was $plain_status)" [ "$plain_status" = 0 ]
  check "$label /remove warns that it left that data source, naming the value" \
    grep -q 'Marvane-S: left: warning: it has values in .* that this program does not write: "PWD"'"$CR"'$' "$log"
  check "$label /remove's last line counts it" last_line_says "$log" " 1 left; exit status 0"
  check "$label /remove leaves its entry and the value added by hand" hand_value_kept
  in_prefix "$p64" "$wine64" reg delete "$WOW_BRANCH\\Marvane-S" /v PWD /f /reg:64 >/dev/null 2>&1
  run_plain "$loader" "$exe" /remove /q
  check "$label /remove: exit 0 (was $plain_status)" [ "$plain_status" = 0 ]
  export_key "$p64" "$wine64" "$WOW_BRANCH" "$work/deploy-after" /reg:64
  check "$label /remove brings the branch back to what it was" same_export "$work/deploy-before" "$work/deploy-after"
  run_plain "$loader" "$exe" --uninstall /q
  check "$label a second /remove: exit 0 (was $plain_status)" [ "$plain_status" = 0 ]
  run_plain "$loader" "$exe" /bogus
  check "$label a switch not understood: exit 87 (was $plain_status)" [ "$plain_status" = 87 ]
}

# listed_as FILE DRIVER: an export of the listing holds Marvane-R's entry with
# the text DRIVER (a REG_SZ: another type exports as hex).
listed_as() { grep -qxF "$WOW_BRANCH\\ODBC Data Sources|Marvane-R|$2" "$1"; }
# not_listed FILE NAME: an export of the listing holds no entry of NAME.
not_listed() { ! grep -qF "|$2|" "$1"; }

# entry_checks LABEL LOADER EXE: an entry under ODBC Data Sources that names
# another driver, without its key, is never taken over: the install leaves
# it as it is and says why, /check says it is not this program's, /remove
# leaves it. An entry of a later archive year alone, naming the Access
# driver, is found and removed.
entry_checks() {
  local label=$1 loader=$2 exe=$3 log=$p64/drive_c/entry.log listing="$WOW_BRANCH\\ODBC Data Sources"
  local later=MV$(($(date +%Y) + 7))-R
  restore_wow
  rm -f "$log"
  in_prefix "$p64" "$wine64" reg add "$listing" /v Marvane-R /t REG_SZ /d 'SQL Server' /f /reg:64 >/dev/null 2>&1
  export_key "$p64" "$wine64" "$listing" "$work/entry-before" /reg:64
  check "$label (Marvane-R listed for SQL Server, without its key)" listed_as "$work/entry-before" 'SQL Server'
  run_plain "$loader" "$exe" /quiet /log 'C:\entry.log'
  check "$label install beside another driver's entry: exit 1 (was $plain_status)" [ "$plain_status" = 1 ]
  export_key "$p64" "$wine64" "$listing" "$work/entry-after" /reg:64
  check "$label install leaves that entry as it is" listed_as "$work/entry-after" 'SQL Server'
  check "$label install writes nothing of that data source" key_absent_64 "$WOW_BRANCH\\Marvane-R"
  check "$label install's log says it was left, naming the entry's driver" \
    grep -qF 'Marvane-R: left: warning: its entry under ODBC Data Sources is "SQL Server"' "$log"
  run_plain "$loader" "$exe" /check
  check "$label /check says it is not this program's" \
    grep -qF "Marvane-R: missing: not this program's: its entry under ODBC Data Sources is \"SQL Server\"" "$work/plain.out"
  in_prefix "$p64" "$wine64" reg add "$listing" /v "$later" /t REG_SZ /d 'Microsoft Access Driver (*.mdb)' /f /reg:64 >/dev/null 2>&1
  run_plain "$loader" "$exe" /remove /quiet /log 'C:\entry.log'
  check "$label /remove beside another driver's entry: exit 0 (was $plain_status)" [ "$plain_status" = 0 ]
  export_key "$p64" "$wine64" "$listing" "$work/entry-after" /reg:64
  check "$label /remove leaves that entry as it is" listed_as "$work/entry-after" 'SQL Server'
  check "$label /remove takes $later, listed alone" not_listed "$work/entry-after" "$later"
  check "$label /remove's log says $later was removed" grep -qF "$later: removed" "$log"
  in_prefix "$p64" "$wine64" reg delete "$listing" /v Marvane-R /f /reg:64 >/dev/null 2>&1
}
