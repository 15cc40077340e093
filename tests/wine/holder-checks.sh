# shellcheck shell=bash disable=SC2154 # work, p64, wine64, names, holder_exe: the sourcing scripts'
# What another program can hold against a run, in the 64-bit prefix: a mutex
# of the turn's old name, the turn itself (a run killed while it has it), the
# log file. Sourced by run-wine-tests.sh after registry-checks.sh. The holder
# is tests/win32/marvane_holder.exe of the x64 build; the runs that could be
# kept waiting are MarvaneSetupShortWait.exe (1.5 s rather than a minute).

# in_cmd_quiet LOADER DIR COMMAND: through cmd without a display; held_status
# is cmd's %errorlevel%, all of the exit status (Wine's loader passes on 8
# bits of it); the output is in $work/held.out.
in_cmd_quiet() {
  (cd "$2" && WINEPREFIX=$p64 timeout "$RUN_TIMEOUT" env -u DISPLAY "$1" cmd /v:on /c "$3 & echo status=!errorlevel!") \
    </dev/null >"$work/held.out" 2>&1
  held_status=$(sed -n 's/^status=\([0-9]*\).*/\1/p' "$work/held.out")
}

# started PID FILE PATTERN: waits, a run's time at most, until FILE has a line
# matching PATTERN, while PID lives.
started() {
  local deadline=$((SECONDS + RUN_TIMEOUT))
  while ! grep -qE "$3" "$2" 2>/dev/null && [ $SECONDS -lt $deadline ] && kill -0 "$1" 2>/dev/null; do sleep 0.2; done
  grep -qE "$3" "$2" 2>/dev/null
}

# start_holder mutex|file NAME: in holder_pid, once it says it holds NAME
# (and whether this Wine has private namespaces, in $work/holder.ready).
start_holder() {
  rm -f "$work/holder.ready"
  WINEPREFIX=$p64 env -u DISPLAY "$wine64" "$holder_exe" "$1" "$2" "$(wine_path "$work/holder.ready")" \
    </dev/null >/dev/null 2>&1 &
  holder_pid=$!
  started "$holder_pid" "$work/holder.ready" 'private namespaces'
}
stop() { kill -KILL "$1" 2>/dev/null && wait "$1" 2>/dev/null; }
not_finished() { ! grep -q '] finished: ' "$1"; }

holder_checks() { # LABEL LOADER EXE
  local label=$1 loader=$2 short log=$p64/drive_c/turn.log
  short=$(dirname "$3")/tests
  restore_wow
  if check "$label a program holds a mutex Global\\MarvaneSetup" start_holder mutex 'Global\MarvaneSetup'; then
    if grep -q 'private namespaces: yes' "$work/holder.ready"; then
      in_cmd_quiet "$loader" "$short" "MarvaneSetupShortWait.exe /quiet"
      check "$label meanwhile a run takes its turn elsewhere: errorlevel 0 (was $held_status)" [ "$held_status" = 0 ]
    else
      skip "$label a run while another program holds Global\\MarvaneSetup: $(wine --version) has no private namespaces (CreateBoundaryDescriptorW makes none), so the exe takes its turn through that very mutex here, which any program may hold; the namespace's boundary is Windows' alone"
    fi
  fi
  stop "$holder_pid"

  # A run killed while it has the turn: at its outcome box, after its last
  # data source, before its last line. Started without timeout in between,
  # so that the signal reaches the program itself.
  restore_wow
  rm -f "$log"
  WINEPREFIX=$p64 "$loader" "$3" /log 'C:\turn.log' </dev/null >/dev/null 2>&1 &
  local run=$!
  if check "$label a run holds its turn (its last data source logged)" started "$run" "$log" "\\] ${names[-1]}: "; then
    check "$label the run still holds it (it has not finished)" not_finished "$log"
    stop "$run"
    restore_wow
    in_cmd_quiet "$loader" "$short" "MarvaneSetupShortWait.exe /quiet"
    check "$label the run killed with SIGKILL passes its turn on: the next exits 0 (was $held_status)" \
      [ "$held_status" = 0 ]
    check_wow_run "$label after the killed run" 'C:\windows\system32\odbcjt32.dll'
  fi
  stop "$run"

  mkdir -p "$p64/drive_c/logs" && rm -f "$p64/drive_c/logs/held.log"
  if check "$label a program holds C:\\logs\\held.log open" start_holder file 'C:\logs\held.log'; then
    in_cmd_quiet "$loader" "$short" 'MarvaneSetupShortWait.exe /quiet /log C:\logs\held.log'
    check "$label a log kept open: errorlevel 1618 (was $held_status)" [ "$held_status" = 1618 ]
    check "$label a log kept open: the error says it is in use by another process, naming it" \
      grep -qF 'the log file "C:\logs\held.log" is in use by another process' "$work/held.out"
    check "$label a log kept open: nothing written to it" [ ! -s "$p64/drive_c/logs/held.log" ]
  fi
  stop "$holder_pid"
}
