#!/usr/bin/env bash
# The program from one year to the next, against a registry file in a
# temporary home: a run while another holds the registry's lock gives up
# with 1618 and changes nothing, and a run dated next year adds exactly the
# five data sources of the year just ended.
#
#   portable_years.sh PROGRAM   (a build that waits 1.5 s, MarvaneSetupShortWait)
set -u
exe=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=../lib.sh
. "$(dirname "$0")/../lib.sh"
# shellcheck source=expected.sh
. "$(dirname "$0")/expected.sh"

home=$work/home
state=$home/.local/state/MarvaneSetup
run() { # run [faketime DATE] ARGS...: status in $status, output in $work/out
  local clock=()
  if [ "$1" = faketime ]; then
    clock=(faketime "$2")
    shift 2
  fi
  # faketime preloads a library; a sanitizer build must then not insist on coming first.
  HOME=$home ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 \
    "${clock[@]}" "$exe" "$@" </dev/null >"$work/out" 2>&1 9>&-
  status=$?
}
# verdicts STATUS COUNT VERDICT FILE: the exit status, and exactly COUNT
# lines with VERDICT in FILE, each for a data source of the year just ended.
verdicts() {
  [ "$status" = "$1" ] && [ "$(grep -c ": $3" "$4")" = "$2" ] &&
    [ "$(grep -cE "MV$year-(R|R1|S|S1|S2): $3" "$4")" = "$2" ]
}

run /q
check "an install this year exits 0" test "$status" = 0
cp "$state/HKLM.reg" "$work/installed"

# Another run holds the lock (this shell, as a run does): this one waits,
# gives up with 1618 (ERROR_INSTALL_ALREADY_RUNNING; an exit status here has
# 8 bits, so the shell sees 1618 % 256 = 82) and touches nothing.
exec 9>>"$state/HKLM.reg.lock"
flock -x 9
started=$SECONDS
run /q /log "$work/held.log"
check "a run while another holds the lock exits 1618, seen as 82 (was $status)" test "$status" = 82
check "it waited for its turn first ($((SECONDS - started)) s)" test $((SECONDS - started)) -ge 1
check "its log says why, and 1618" bash -c "grep -q 'another run of setup has held .*HKLM.reg.lock' '$work/held.log' &&
  grep -q 'exit status 1618' '$work/held.log'"
check "it changed nothing" cmp -s "$state/HKLM.reg" "$work/installed"
exec 9>&-

if command -v faketime >/dev/null 2>&1; then
  next="$((year + 1))-01-02 08:00:00"
  run faketime "$next" /check
  check "/check dated $((year + 1)) exits 1 with exactly the five of $year missing" verdicts 1 5 missing "$work/out"
  run faketime "$next" /q /log "$work/next.log"
  check "an install dated $((year + 1)) registers exactly the five of $year" verdicts 0 5 registered "$work/next.log"
else
  skip "runs dated next year: faketime is not installed (scripts/install-native-deps.sh)"
fi

summary
