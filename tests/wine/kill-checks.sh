# shellcheck shell=bash disable=SC2154,SC2034 # names, plain_status, failed, quiet_passes: the sourcing scripts' and tests/lib.sh's
# Runs killed with SIGKILL at random moments, in the 64-bit prefix without a
# display. The prefix's server stays up meanwhile, as Windows keeps its
# registry when a program is killed: what the killed run wrote stays, and
# the next run of the same kind must exit 0 and leave the branch exactly as
# a clean run leaves it. Sourced by run-wine-tests.sh after prefixes.sh
# (export_key, same_export), runs.sh (RUN_TIMEOUT), registry-checks.sh
# (restore_wow, names) and deploy-checks.sh (run_plain).
: "${work:?run-wine-tests.sh sets the scratch folder}"
: "${p64:?run-wine-tests.sh names the 64-bit prefix}"
: "${wine64:?run-wine-tests.sh chooses the 64-bit loader}"

readonly KILL_ROUNDS=10 # per exe, each an install and a removal killed

# The moments are drawn from $RANDOM, seeded afresh for each exe: the seed is
# said, and MARVANE_KILL_SEED=SEED draws the same ones again.
kill_seed=${MARVANE_KILL_SEED:-$((RANDOM * 32768 + RANDOM))}
echo "kill rounds: seed $kill_seed (MARVANE_KILL_SEED=$kill_seed draws the same moments)"

# data_source_lines LOG: how many lines of LOG are about a data source (0
# while there is no LOG).
data_source_lines() {
  local count
  count=$(grep -cE '\] (Marvane|MV[0-9]{4})-[RS][12]?: ' "$1" 2>/dev/null)
  echo "${count:-0}"
}

# wait_for_lines LOG COUNT PID: until LOG has COUNT data-source lines, while
# process PID runs, for one run's time at most.
wait_for_lines() {
  local log=$1 count=$2 pid=$3 deadline=$((SECONDS + RUN_TIMEOUT))
  while [ "$(data_source_lines "$log")" -lt "$count" ]; do
    kill -0 "$pid" 2>/dev/null || return
    [ "$SECONDS" -lt "$deadline" ] || return
    sleep 0.01
  done
}

# killed_run LOADER EXE ARGS...: starts the exe with ARGS and a log, and
# kills it at a random moment: mostly once its log has a random number of
# data-source lines, else after a random delay of up to 0.15 s, while Wine
# is still starting it. Sets kill_moment and kill_status, and counts the run
# in cut_short when its log has no last line.
killed_run() {
  local loader=$1 exe=$2 log=$p64/drive_c/killed.log pid
  shift 2
  rm -f "$log"
  WINEPREFIX=$p64 env -u DISPLAY "$loader" "$exe" "$@" /log 'C:\killed.log' </dev/null >/dev/null 2>&1 &
  pid=$!
  if [ $((RANDOM % 4)) = 0 ]; then
    local delay
    delay=0.$(printf '%03d' $((RANDOM % 150)))
    kill_moment="$delay s after its start"
    sleep "$delay"
  else
    local lines=$((RANDOM % ${#names[@]}))
    kill_moment="at $lines data-source lines"
    wait_for_lines "$log" "$lines" "$pid"
  fi
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  kill_status=$?
  grep -q '] finished: ' "$log" 2>/dev/null || cut_short=$((cut_short + 1))
}

# kill_round LABEL LOADER EXE KIND REFERENCE ARGS...: one run of KIND killed,
# then the next one, which must end where a clean run ends (REFERENCE).
kill_round() {
  local label=$1 loader=$2 exe=$3 kind=$4 reference=$5
  shift 5
  killed_run "$loader" "$exe" "$@"
  local what="$label $kind killed $kill_moment (status $kill_status)"
  run_plain "$loader" "$exe" "$@"
  check "$what: the next $kind exits 0 (was $plain_status)" [ "$plain_status" = 0 ]
  export_key "$p64" "$wine64" "$WOW_BRANCH" "$work/kill-after" /reg:64
  check "$what: the next $kind leaves the branch as a clean $kind does" \
    same_export "$reference" "$work/kill-after"
}

# kill_checks LABEL LOADER EXE
kill_checks() {
  local label=$1 loader=$2 exe=$3 round cut_short=0 failed_before started=$SECONDS
  RANDOM=$kill_seed
  # What a clean removal and a clean install leave, from the same start.
  restore_wow
  run_plain "$loader" "$exe" /quiet
  run_plain "$loader" "$exe" /remove /quiet
  check "$label kills: a clean removal exits 0 (was $plain_status)" [ "$plain_status" = 0 ]
  export_key "$p64" "$wine64" "$WOW_BRANCH" "$work/kill-removed" /reg:64
  run_plain "$loader" "$exe" /quiet
  check "$label kills: a clean install exits 0 (was $plain_status)" [ "$plain_status" = 0 ]
  export_key "$p64" "$wine64" "$WOW_BRANCH" "$work/kill-installed" /reg:64

  # Said only when they fail: two checks for each of 2 * KILL_ROUNDS runs.
  quiet_passes=true
  failed_before=$failed
  for ((round = 1; round <= KILL_ROUNDS; round++)); do
    kill_round "$label" "$loader" "$exe" removal "$work/kill-removed" /remove /quiet
    kill_round "$label" "$loader" "$exe" install "$work/kill-installed" /quiet
  done
  quiet_passes=false
  check "$label kills: after each of $((2 * KILL_ROUNDS)) runs killed, the next exits 0 and leaves what a clean run leaves ($((failed - failed_before)) checks failed, $((SECONDS - started)) s)" \
    [ "$failed" = "$failed_before" ]
  # Nearly every kill lands before the run's last line; half is the floor.
  check "$label kills: $cut_short of $((2 * KILL_ROUNDS)) killed runs were cut short (no last line in their log)" \
    [ "$cut_short" -ge "$KILL_ROUNDS" ]
  restore_wow
}
