#!/usr/bin/env bash
# /repair of the built MarvaneSetup against a machine registry file in a
# temporary home: a DBQ changed by hand, a value deleted and a key cut short
# are put back exactly, the log says what each was; a repair with nothing to
# do leaves the file byte for byte; a build for another file server
# (the second argument, built for NEWSRV02) points every data source there.
# The third argument is the server the first was built for.
# shellcheck source=start.sh
. "$(dirname "$0")/start.sh"
other=$(realpath "$2")
server=$3

home=$work/home
reg=$home/.local/state/MarvaneSetup/HKLM.reg
log=$work/repair.log
run() { # run EXE ARGS...: status in $status, standard output in $work/out
  local program=$1
  shift
  HOME=$home "$program" "$@" </dev/null >"$work/out" 2>"$work/err"
  status=$?
}
said() { grep -qxF "$1" <(cut -d' ' -f3- "$log"); } # said LINE: a line of the log, after its stamp
# edit SECTION [LINE]: the registry file without the key whose section ends in
# SECTION, or without only that LINE of it.
edit() {
  SECTION="$1]" LINE="${2-}" awk '
    /^\[/ { inside = substr($0, length($0) - length(ENVIRON["SECTION"]) + 1) == ENVIRON["SECTION"] }
    inside && ENVIRON["LINE"] == "" { if ($0 == "") inside = 0; next }
    inside && $0 == ENVIRON["LINE"] { next }
    { print }' "$reg" >"$reg.new" && mv "$reg.new" "$reg"
}
dbq() { printf '"DBQ"="\\\\\\\\%s\\\\VLK-Data\\\\MV-2002\\\\Marvane-R.mdb"' "$1"; }

run "$exe" /q
check "install exits 0" test "$status" = 0
cp "$reg" "$work/installed"

OLD=$(dbq VLKDATA01) NEW=$(dbq OLDSRV) perl -pi -e 's/\Q$ENV{OLD}\E/$ENV{NEW}/' "$reg"
edit '\Marvane-S1' '"UID"=""'
edit '\Marvane-R1\Engines\Jet'
check "(a DBQ changed, a value deleted, a key cut short)" test "$(diff "$work/installed" "$reg" | grep -c '^[<>]')" = 10
run "$exe" /repair /q /log "$log"
check "repair exits 0 (was $status)" test "$status" = 0
check "repair leaves exactly what the install wrote" cmp -s "$reg" "$work/installed"
check "the log names the old DBQ and the new one" \
  said 'MV2002-R: DBQ was "\\OLDSRV\VLK-Data\MV-2002\Marvane-R.mdb", now "\\VLKDATA01\VLK-Data\MV-2002\Marvane-R.mdb"'
check "the log says the deleted value was put back" said 'Marvane-S1: UID was not there, now ""'
check "the log says the key cut short was made" said 'Marvane-R1: key Marvane-R1\Engines\Jet was not there, now created'
check "the log's last line counts them" \
  said "finished: $expected data sources: 3 repaired, $((expected - 3)) exact; exit status 0"
check "no line of a clean repair says error or warning" test "$(grep -ci 'error\|warning' "$log")" = 0

touch -d '2001-01-01 00:00:00' "$reg"
run "$exe" -F /q
check "a repair with nothing to do exits 0 (was $status)" test "$status" = 0
check "a repair with nothing to do leaves the file byte for byte, not even rewritten" \
  test "$(stat -c %Y "$reg")" = "$(date -d '2001-01-01 00:00:00' +%s)"

run "$exe" '/?'
check "/? names the server this build writes ($server)" grep -qF "file server \\\\$server " "$work/out"
run "$other" /repair /q /log "$log"
check "the build for NEWSRV02: repair exits 0 (was $status)" test "$status" = 0
check "the build for NEWSRV02: every data source's DBQ names it" \
  test "$(grep -c '^"DBQ"="[\]*NEWSRV02[\]*VLK-Data[\]' "$reg")-$(grep -c '^"DBQ"=' "$reg")" = "$expected-$expected"
check "the build for NEWSRV02: its header names the server" grep -q "repair /quiet, file server NEWSRV02, " "$log"
run "$exe" /repair /q
check "the first build's repair points them back, exactly as it installed them" cmp -s "$reg" "$work/installed"

summary
