# shellcheck shell=bash disable=SC2154 # work, p64, wine64, year, names, suffixes: the sourcing scripts'
# From one year to the next, in the 64-bit prefix on the display: the console
# twin through cmd, where Detect-MarvaneSetup.ps1 looks, 1 January, one run at a time.

# in_cmd DIR COMMAND [CLOCK]: through cmd of the loader in $cmd_loader, whose
# %errorlevel% keeps the whole exit status (Wine's loader passes on 8 bits),
# under faketime CLOCK if given.
in_cmd() {
  (cd "$1" && WINEPREFIX=$p64 timeout "$RUN_TIMEOUT" ${3:+faketime "$3"} "$cmd_loader" cmd /v:on /c "$2 & echo status=!errorlevel!") \
    </dev/null >"$work/cmd.out" 2>&1
  cmd_status=$(sed -n 's/^status=\([0-9]*\).*/\1/p' "$work/cmd.out")
}
# verdicts STATUS COUNT VERDICT FILE NAMES: exactly COUNT lines with VERDICT, all for NAMES.
verdicts() { [ "$cmd_status" = "$1" ] && [ "$(grep -c ": $3" "$4")" = "$2" ] && [ "$(grep -cE "$5: $3" "$4")" = "$2" ]; }
# script_paths_hold: every data source at the paths the script reads from 64- and 32-bit PowerShell.
script_paths_hold() {
  local bits path name
  while read -r bits path; do
    export_key "$p64" "$wine64" "HKEY_LOCAL_MACHINE\\${path#HKLM:\\}" "$work/seen" "/reg:$bits"
    for name in "${names[@]}"; do grep -qiF "\\ODBC.INI\\$name|Driver|" "$work/seen" && grep -qiF "Sources|$name|" "$work/seen" || return 1; done
  done < <(sed -n "s/^ *\$branch = '\(.*\)' # \([0-9]*\)-bit PowerShell\r\?\$/\2 \1/p" \
    "$(dirname "${BASH_SOURCE[0]}")/../../scripts/Detect-MarvaneSetup.ps1" | grep .)
}

# log_says LOG PATTERN PID DEADLINE: waits until a line of LOG matches
# PATTERN, while process PID runs and until SECONDS reaches DEADLINE.
log_says() {
  local log=$1 pattern=$2 pid=$3 deadline=$4
  until grep -qE "$pattern" "$log" 2>/dev/null; do
    kill -0 "$pid" 2>/dev/null || return 1
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

deploy_tools_checks() { # LABEL LOADER EXE
  local label=$1 cmd_loader=$2 dir first box first_status
  shift
  dir=$(dirname "$2")
  restore_wow
  in_cmd "$dir" "MarvaneSetup.com /check"
  check "$label cmd /c MarvaneSetup.com /check: errorlevel 1 (was $cmd_status), the ${#names[@]} missing printed" \
    verdicts 1 "${#names[@]}" missing "$work/cmd.out" '(Marvane|MV[0-9]{4})-[RS][12]?'
  in_cmd "$dir" "MarvaneSetup.com /quiet"
  check "$label after cmd /c MarvaneSetup.com /quiet, every data source is where Detect-MarvaneSetup.ps1 looks" script_paths_hold
  if [ "$cmd_loader" != "$wine64" ]; then
    # libfaketime is preloaded into 64-bit programs only: a 32-bit loader (or
    # qemu-i386 running one) keeps the real clock.
    skip "$label a run dated next year: faketime does not reach the 32-bit Wine loader"
  elif command -v faketime >/dev/null; then
    rm -f "$p64/drive_c/next.log"
    in_cmd "$dir" 'MarvaneSetup.exe /quiet /log C:\next.log' "$((year + 1))-01-02 08:00:00"
    check "$label a run dated $((year + 1)): errorlevel 0 (was $cmd_status), exactly MV$year-* registered" \
      verdicts 0 5 registered "$p64/drive_c/next.log" "MV$year-(R|R1|S|S1|S2)"
  else
    skip "$label a run dated next year: faketime is not installed (scripts/install-windows-deps.sh)"
  fi

  # A first run holds the turn from before its first data source until its
  # outcome box is closed: once its log has the last data source's line, a
  # second run has to wait. All within the first run's own time limit.
  restore_wow
  local log=$p64/drive_c/first.log deadline=$((SECONDS + RUN_TIMEOUT))
  rm -f "$log"
  WINEPREFIX=$p64 timeout "$RUN_TIMEOUT" "$cmd_loader" "$2" /log 'C:\first.log' </dev/null >/dev/null 2>&1 &
  first=$!
  check "$label a first run logs its last data source within its time limit" \
    log_says "$log" "\] ${names[-1]}: " "$first" "$deadline"
  in_cmd "$dir/tests" "MarvaneSetupShortWait.exe /quiet"
  check "$label a second run meanwhile: errorlevel 1618 (was $cmd_status)" [ "$cmd_status" = 1618 ]
  in_cmd "$dir" "MarvaneSetup.com /check"
  check "$label /check meanwhile takes no turn: errorlevel 0 (was $cmd_status)" [ "$cmd_status" = 0 ]
  box=$(timeout "$((deadline > SECONDS ? deadline - SECONDS : 1))" \
    xdotool search --sync --onlyvisible --name '^Marvane Installation$' 2>/dev/null | head -n 1)
  check "$label the first run shows its outcome box" [ -n "$box" ]
  [ -z "$box" ] || check "$label the first run's outcome box closes with Return" close_box "$box"
  wait "$first"
  first_status=$?
  check "$label the first run exits 0 (was $first_status)" [ "$first_status" = 0 ]
}
