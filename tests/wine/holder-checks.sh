# shellcheck shell=bash disable=SC2154 # work, p64, wine64, names: the sourcing scripts'
# What another program can hold against a run, in the 64-bit prefix: a
# mutex of the turn's old name, the turn itself (a run killed while it has
# it), the log file. Sourced by run-wine-tests.sh after prefixes.sh, runs.sh
# and registry-checks.sh. The holder is tests/win32/marvane_holder.exe of the
# x64 build (its objects are the prefix's, whichever exe meets them); the
# runs that could be kept waiting are MarvaneSetupShortWait.exe, which waits
# 1.5 s rather than a minute.
: "${work:?run-wine-tests.sh sets the scratch folder}"

readonly HOLDER_TIMEOUT=60 # for the holder to say it holds

# in_cmd_quiet LOADER DIR COMMAND: through cmd in the 64-bit prefix without a
# display; sets held_status to cmd's %errorlevel%, all of the exit status
# (Wine's loader passes on 8 bits of it), with the output in $work/held.out.
in_cmd_quiet() {
  (cd "$2" && WINEPREFIX=$p64 timeout "$RUN_TIMEOUT" env -u DISPLAY "$1" cmd /v:on /c "$3 & echo status=!errorlevel!") \
    </dev/null >"$work/held.out" 2>&1
  held_status=$(sed -n 's/^status=\([0-9]*\).*/\1/p' "$work/held.out")
}

# start_holder WHAT NAME: marvane_holder holding WHAT (mutex or file) NAME,
# in holder_pid; fails when it does not say so in time. Its ready file then
# says whether this Wine has private namespaces.
start_holder() {
  rm -f "$work/holder.ready"
  WINEPREFIX=$p64 env -u DISPLAY "$wine64" "$holder_exe" "$1" "$2" "$(wine_path "$work/holder.ready")" \
    </dev/null >"$work/holder.out" 2>&1 &
  holder_pid=$!
  local deadline=$((SECONDS + HOLDER_TIMEOUT))
  while [ ! -s "$work/holder.ready" ] && [ $SECONDS -lt $deadline ] && kill -0 "$holder_pid" 2>/dev/null; do
    sleep 0.2
  done
  [ -s "$work/holder.ready" ]
}
stop_holder() {
  kill "$holder_pid" 2>/dev/null
  wait "$holder_pid" 2>/dev/null
}

# run_until_logged LOADER EXE LOG PATTERN: starts the program with its windows
# and a log, in run_pid (the program itself, so that a signal reaches it: no
# timeout in between; the caller ends it); succeeds once LOG has a line
# matching PATTERN.
run_until_logged() {
  rm -f "$3"
  WINEPREFIX=$p64 "$1" "$2" /log "C:\\$(basename "$3")" </dev/null >/dev/null 2>&1 &
  run_pid=$!
  local deadline=$((SECONDS + RUN_TIMEOUT))
  while ! grep -qE "$4" "$3" 2>/dev/null && [ $SECONDS -lt $deadline ] && kill -0 "$run_pid" 2>/dev/null; do
    sleep 0.2
  done
  grep -qE "$4" "$3" 2>/dev/null
}
not_finished() { ! grep -q '] finished: ' "$1"; }

# holder_checks LABEL LOADER EXE
holder_checks() {
  local label=$1 loader=$2 exe=$3 short held log=$p64/drive_c/turn.log
  short=$(dirname "$exe")/tests
  if [ ! -f "$holder_exe" ] || [ ! -f "$short/MarvaneSetupShortWait.exe" ]; then
    skip "$label what another program holds: marvane_holder.exe or MarvaneSetupShortWait.exe not built"
    return
  fi

  # A mutex of the turn's old name, made first by another program.
  restore_wow
  if check "$label a program holds a mutex Global\\MarvaneSetup" start_holder mutex 'Global\MarvaneSetup'; then
    if grep -q 'private namespaces: yes' "$work/holder.ready"; then
      in_cmd_quiet "$loader" "$short" "MarvaneSetupShortWait.exe /quiet"
      check "$label meanwhile a run takes its turn elsewhere: errorlevel 0 (was $held_status)" [ "$held_status" = 0 ]
    else
      skip "$label a run while another program holds Global\\MarvaneSetup: $(wine --version) has no private namespaces (CreateBoundaryDescriptorW makes none), so the exe takes its turn through that very mutex here, which any program may hold; the namespace's boundary is Windows' alone"
    fi
  fi
  stop_holder

  # A run killed while it has the turn: at its outcome box, after its last
  # data source, before its last line.
  restore_wow
  if check "$label a run holds its turn (its last data source logged)" \
    run_until_logged "$loader" "$exe" "$log" "\\] ${names[-1]}: "; then
    check "$label the run still holds it (it has not finished)" not_finished "$log"
    kill -KILL "$run_pid" 2>/dev/null
    wait "$run_pid" 2>/dev/null
    restore_wow
    in_cmd_quiet "$loader" "$short" "MarvaneSetupShortWait.exe /quiet"
    check "$label the run killed with SIGKILL passes its turn on: the next exits 0 (was $held_status)" \
      [ "$held_status" = 0 ]
    check_wow_run "$label after the killed run" 'C:\windows\system32\odbcjt32.dll'
  else
    kill -KILL "$run_pid" 2>/dev/null
    wait "$run_pid" 2>/dev/null
  fi

  # A log that another program keeps open.
  mkdir -p "$p64/drive_c/logs" && rm -f "$p64/drive_c/logs/held.log"
  if check "$label a program holds C:\\logs\\held.log open" start_holder file 'C:\logs\held.log'; then
    in_cmd_quiet "$loader" "$short" 'MarvaneSetupShortWait.exe /quiet /log C:\logs\held.log'
    check "$label a log kept open: errorlevel 1618 (was $held_status)" [ "$held_status" = 1618 ]
    held='the log file "C:\logs\held.log" is in use by another process'
    check "$label a log kept open: the error says it is in use by another process, naming it" \
      grep -qF "$held" "$work/held.out"
    check "$label a log kept open: nothing written to it" [ ! -s "$p64/drive_c/logs/held.log" ]
  fi
  stop_holder
}
