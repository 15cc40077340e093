#!/usr/bin/env bash
# portable_years.sh MarvaneSetupShortWait: a run while the lock is held, one dated next year.
# shellcheck source=start.sh
. "$(dirname "$0")/start.sh"
reg=$work/.local/state/MarvaneSetup/HKLM.reg
run() { HOME=$work ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0 timeout 30 "$@" </dev/null >/dev/null 2>&1 9>&-; }

run "$exe" /q
cp "$reg" "$work/installed"
exec 9>>"$reg.lock"
flock -x 9
run "$exe" /q /log "$work/held.log" # exit statuses have 8 bits here: 1618 % 256 = 82
status=$?
check "a run while another holds the lock: exit 82 (was $status)" [ "$status" = 82 ]
check "a run while another holds the lock: 1618 logged" grep -q 'exit status 1618' "$work/held.log"
check "a run while another holds the lock: nothing changed" cmp -s "$reg" "$work/installed"
exec 9>&-
# registered_exactly LOG NAMES COUNT: COUNT lines say registered, all of them for NAMES.
registered_exactly() { [ "$(grep -c ': registered' "$1")" = "$3" ] && [ "$(grep -cE "$2: registered" "$1")" = "$3" ]; }
if command -v faketime >/dev/null; then
  run faketime "$((year + 1))-01-02 08:00:00" "$exe" /q /log "$work/next.log"
  status=$?
  check "a run dated $((year + 1)): exit 0 (was $status)" [ "$status" = 0 ]
  check "a run dated $((year + 1)) registers exactly MV$year-*" \
    registered_exactly "$work/next.log" "MV$year-(R|R1|S|S1|S2)" 5
else
  skip "a run dated next year: faketime is not installed (scripts/install-native-deps.sh)"
fi
summary
