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
check "a run while another holds the lock: exit 82 (was $?), 1618 logged, nothing changed" bash -c \
  "[ $? = 82 ] && grep -q 'exit status 1618' '$work/held.log' && cmp -s '$reg' '$work/installed'"
exec 9>&-
if command -v faketime >/dev/null; then
  run faketime "$((year + 1))-01-02 08:00:00" "$exe" /q /log "$work/next.log"
  check "a run dated $((year + 1)) registers exactly MV$year-* (exit $?)" bash -c "[ $? = 0 ] &&
    [ \$(grep -c ': registered' '$work/next.log') = 5 ] && [ \$(grep -cE 'MV$year-(R|R1|S|S1|S2): registered' '$work/next.log') = 5 ]"
else
  skip "a run dated next year: faketime is not installed (scripts/install-native-deps.sh)"
fi
summary
