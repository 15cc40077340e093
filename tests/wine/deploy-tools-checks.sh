# shellcheck shell=bash
# What deployment tools and administrators rely on from one year to the
# next, in the 64-bit prefix: the console twin's answer and exit status
# through cmd, the registry paths the detection rules read, the archive year
# that 1 January adds, and one run at a time. Sourced by run-wine-tests.sh
# after deploy-checks.sh.
: "${work:?run-wine-tests.sh sets the scratch folder}"
: "${p64:?run-wine-tests.sh names the 64-bit prefix}"
: "${wine64:?run-wine-tests.sh chooses the 64-bit loader}"
: "${year:?registry-checks.sh sets the year}"

DETECT_SCRIPT=$(dirname "${BASH_SOURCE[0]}")/../../scripts/Detect-MarvaneSetup.ps1

# in_cmd DIR COMMAND: COMMAND through Wine's cmd in DIR, without a display,
# under faketime when cmd_clock is set; sets cmd_status from cmd's own
# %errorlevel% (Wine's loader passes on only the low 8 bits of an exit
# status: 1618 would read as 82), with the output in $work/cmd.out.
cmd_clock=
in_cmd() {
  local clock=()
  [ -n "$cmd_clock" ] && clock=(faketime "$cmd_clock")
  (cd "$1" && WINEPREFIX=$p64 timeout "$RUN_TIMEOUT" "${clock[@]}" env -u DISPLAY "$wine64" cmd /v:on /c \
    "$2 & echo status=!errorlevel!") </dev/null >"$work/cmd.out" 2>&1
  cmd_status=$(sed -n 's/^status=\([0-9]*\).*/\1/p' "$work/cmd.out" | tail -n 1)
}

# detection_paths_hold LAST_YEAR: every data source of LAST_YEAR's set is
# where Detect-MarvaneSetup.ps1 looks, from 64- and from 32-bit PowerShell:
# its key with Driver and its entry in the list. The branches, the list,
# the first year and the suffixes are read from the script itself.
detection_paths_hold() {
  local last=$1 bits path name missing='' first list suffixes
  # shellcheck disable=SC2016 # the script's own $year
  first=$(sed -n 's/^for (\$year = \([0-9]*\);.*/\1/p' "$DETECT_SCRIPT")
  list=$(sed -n "s/^\$list = '\(.*\)'\$/\1/p" "$DETECT_SCRIPT")
  read -ra suffixes <<<"$(sed -n "s/^\$suffixes = //p" "$DETECT_SCRIPT" | tr -d "',")"
  local wanted=()
  for suffix in "${suffixes[@]}"; do wanted+=("Marvane$suffix"); done
  for ((y = first; y <= last; y++)); do for suffix in "${suffixes[@]}"; do wanted+=("MV$y$suffix"); done; done
  [ ${#wanted[@]} -eq $((5 * (last - 2002 + 2))) ] || return 1
  while read -r bits path; do
    path="HKEY_LOCAL_MACHINE\\${path#HKLM:\\}"
    export_key "$p64" "$wine64" "$path" "$work/detect-$bits" "/reg:$bits"
    for name in "${wanted[@]}"; do
      grep -qiF "$path\\$name|Driver|" "$work/detect-$bits" && grep -qiF "$path\\$list|$name|" "$work/detect-$bits" ||
        missing+=" $bits-bit:$name"
    done
  done < <(sed -n "s/^ *\$branch = '\(.*\)' # \([0-9]*\)-bit PowerShell\$/\2 \1/p" "$DETECT_SCRIPT")
  [ -z "$missing" ] || echo "    missing:${missing:0:200}"
  [ -z "$missing" ] && [ -s "$work/detect-64" ] && [ -s "$work/detect-32" ]
}

# rule_holds NAME: the registry rule "HKLM\SOFTWARE\ODBC\ODBC.INI\NAME, value
# Driver exists, 32-bit view on 64-bit Windows".
rule_holds() { in_prefix "$p64" "$wine64" reg query "HKLM\\SOFTWARE\\ODBC\\ODBC.INI\\$1" /v Driver /reg:32 >/dev/null 2>&1; }
rule_fails() { ! rule_holds "$1"; }

# listed_with STATUS LINES PATTERN: cmd_status is STATUS, and $work/cmd.out
# (or the file in out_file) has exactly LINES lines matching PATTERN, and
# no other line with the same verdict (the text after PATTERN's ": ").
out_file=
listed_with() {
  local file=${out_file:-$work/cmd.out}
  [ "$cmd_status" = "$1" ] && [ "$(grep -cE "$3" "$file")" = "$2" ] &&
    [ "$(grep -c ": ${3##*: }" "$file")" = "$2" ]
}
# refused_while_held: 1618 after the wait, and MV2010-S still absent.
refused_while_held() {
  [ "$cmd_status" = 1618 ] && [ $((SECONDS - started)) -ge 1 ] &&
    ! key_exists "$p64" "$wine64" "$WOW_BRANCH\\MV2010-S" /reg:64
}

# deploy_tools_checks LABEL EXE
deploy_tools_checks() {
  local label=$1 dir last=$((year - 1))
  dir=$(dirname "$2")
  restore_wow
  in_prefix "$p64" "$wine64" reg add "$WOW_BRANCH\\ODBC Data Sources" /f /reg:64 >/dev/null 2>&1

  # The console twin, as typed in cmd: it is waited for and sets %errorlevel%.
  in_cmd "$dir" "MarvaneSetup.com /check"
  # shellcheck disable=SC2154 # names: registry-checks.sh's data sources
  check "$label cmd /c MarvaneSetup.com /check before the install: errorlevel 1 (was $cmd_status), all ${#names[@]} listed missing" \
    listed_with 1 "${#names[@]}" '(Marvane|MV[0-9]{4})-[RS][12]?: missing'

  in_cmd "$dir" "MarvaneSetup.com /quiet"
  check "$label cmd /c MarvaneSetup.com /quiet: errorlevel 0 (was $cmd_status)" [ "$cmd_status" = 0 ]
  in_cmd "$dir" "MarvaneSetup /check"
  check "$label cmd /c MarvaneSetup /check after it: errorlevel 0 (was $cmd_status)" [ "$cmd_status" = 0 ]

  # What the detection rules read.
  check "$label Detect-MarvaneSetup.ps1's registry paths hold every data source up to $last" detection_paths_hold "$last"
  check "$label the registry rule on MV$last-S2 (Driver, 32-bit view) holds" rule_holds "MV$last-S2"

  # 1 January: five data sources more.
  if command -v faketime >/dev/null 2>&1; then
    check "$label the registry rule on MV$year-S2 does not hold before next year's run" rule_fails "MV$year-S2"
    cmd_clock="$((year + 1))-01-02 08:00:00"
    in_cmd "$dir" "MarvaneSetup.com /check"
    check "$label /check dated $((year + 1)): errorlevel 1 (was $cmd_status), exactly the five of $year missing" \
      listed_with 1 5 "MV$year-(R|R1|S|S1|S2): missing"
    rm -f "$p64/drive_c/rollover.log"
    in_cmd "$dir" 'MarvaneSetup.exe /quiet /log C:\rollover.log'
    out_file=$p64/drive_c/rollover.log
    check "$label an install dated $((year + 1)): errorlevel 0 (was $cmd_status), exactly the five of $year registered" \
      listed_with 0 5 "MV$year-(R|R1|S|S1|S2): registered"
    out_file=
    cmd_clock=
    check "$label Detect-MarvaneSetup.ps1's registry paths hold every data source up to $year after it" detection_paths_hold "$year"
  else
    skip "$label a run dated next year: faketime is not installed (scripts/install-windows-deps.sh)"
  fi

  # One run at a time: a run that holds the mutex, then a second run.
  local hold=$dir/tests/win32/marvane_hold_run_lock.exe short=$dir/tests/MarvaneSetupShortWait.exe holder started
  if [ ! -f "$hold" ] || [ ! -f "$short" ]; then
    skip "$label one run at a time: $hold or $short not built"
    return
  fi
  in_prefix "$p64" "$wine64" reg delete "$WOW_BRANCH\\MV2010-S" /f /reg:64 >/dev/null 2>&1
  WINEPREFIX=$p64 timeout 90 "$wine64" "$hold" 15 </dev/null >"$work/hold.out" 2>&1 &
  holder=$!
  for _ in $(seq 1 150); do grep -q held "$work/hold.out" && break; sleep 0.2; done
  started=$SECONDS
  in_cmd "$(dirname "$short")" "MarvaneSetupShortWait.exe /quiet"
  check "$label a second run while another holds Global\\MarvaneSetup: errorlevel 1618 (was $cmd_status) after its wait, MV2010-S not written" \
    refused_while_held
  in_cmd "$dir" "MarvaneSetup.com /check"
  check "$label /check meanwhile takes no turn: errorlevel 1 (was $cmd_status)" [ "$cmd_status" = 1 ]
  in_cmd "$dir" "MarvaneSetup.com /quiet"
  local ended=false
  kill -0 "$holder" 2>/dev/null || ended=true
  check "$label a run that waits gets its turn when the holder ends without releasing it: errorlevel 0 (was $cmd_status), after it" \
    bash -c "[ '$cmd_status' = 0 ] && $ended"
  wait "$holder" 2>/dev/null
  restore_wow
}
