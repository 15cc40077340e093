#!/usr/bin/env bash
# The built MarvaneSetup as a deployment tool drives it, against a machine
# registry file in a temporary home: an unattended install with a log, a
# detection before and after, a removal, a second removal, a data source
# changed by hand, and command lines that are not understood.
# shellcheck source=start.sh
. "$(dirname "$0")/start.sh"
count=$expected

home=$work/home
reg=$home/.local/state/MarvaneSetup/HKLM.reg
log=$work/deploy.log
run() {  # run ARGS...: status in $status, standard output in $work/out
  HOME=$home "$exe" "$@" </dev/null >"$work/out" 2>"$work/err"
  status=$?
}
lines() { grep -c "$@" || true; }
# Each line of the log starts with its local time, its offset from UTC and the process id.
stamp='[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}[+-][0-9]{2}:[0-9]{2} \[[0-9]+\] '

# A machine whose ODBC keys are there before the program ever runs, as on
# Windows, with a data source and a key of its own.
mkdir -p "$(dirname "$reg")"
branchKeys=()
key=SOFTWARE
rest=${branch#SOFTWARE\\}
read -ra parts <<<"${rest//\\/ }"
for part in "${parts[@]}"; do
  key="$key\\$part"
  branchKeys+=("[HKEY_LOCAL_MACHINE\\$key]" '')
done
branchKeys+=("[HKEY_LOCAL_MACHINE\\$branch\\ODBC Data Sources]" '"Other DSN"="SQL Server"' '')
vendor=('[HKEY_LOCAL_MACHINE\SOFTWARE\Vendor]' '"Keep"="this"' '')
# Sections in the order the program writes them: ODBC before Vendor before WOW6432node.
if [ "$branch" = 'SOFTWARE\ODBC\ODBC.INI' ]; then
  printf '%s\n' REGEDIT4 '' '[HKEY_LOCAL_MACHINE\SOFTWARE]' '' "${branchKeys[@]}" "${vendor[@]}" >"$reg"
else
  printf '%s\n' REGEDIT4 '' '[HKEY_LOCAL_MACHINE\SOFTWARE]' '' "${vendor[@]}" "${branchKeys[@]}" >"$reg"
fi
cp "$reg" "$work/before"

run /check
check "check on a machine without the data sources exits 1" test "$status" = 1
check "check lists every missing data source on standard output" test "$(lines ': missing' "$work/out")" = "$count"
check "check writes nothing" cmp -s "$reg" "$work/before"
check "check creates nothing beside the file, not even the lock" test "$(ls -A "$(dirname "$reg")")" = HKLM.reg

run /QUIET /log "$log"
check "quiet install exits 0" test "$status" = 0
check "quiet install prints no window line" test ! -s "$work/out"
check "the log starts with the run's facts" grep -qE "^${stamp}MarvaneSetup .* install /quiet, .*, registry writable, processor .* -> ${branch//\\/\\\\}, " "$log"
check "the log has a line per data source" test "$(lines -E "^${stamp}(Marvane|MV)[0-9]*-[RS][12]?: registered$" "$log")" = "$count"
check "the log ends with the counts and the exit status" \
  test "$(tail -n 1 "$log" | cut -d' ' -f3-)" = "finished: $count data sources: $count registered; exit status 0"
cp "$reg" "$work/installed"

run -check
check "check after the install exits 0" test "$status" = 0
check "check after the install prints nothing" test ! -s "$work/out"
check "check after the install leaves the file byte-identical" cmp -s "$reg" "$work/installed"

run /remove -q -l "$log"
check "removal exits 0" test "$status" = 0
check "removal leaves exactly the registry as it was before the install" cmp -s "$reg" "$work/before"
check "the log was appended to" test "$(lines -E "^${stamp}MarvaneSetup " "$log")" = 2
run --uninstall /q
check "a second removal exits 0" test "$status" = 0
check "a second removal changes nothing" cmp -s "$reg" "$work/before"

# A data source changed by hand is left as it is, with a warning: the removal
# of every data source that is this program's is done.
run /q
sed -i 's|^"DBQ"="\\\\\\\\VLKDATA01\\\\VLK-Data\\\\Current\\\\Marvane-S.mdb"$|"DBQ"="D:\\\\mine.mdb"|' "$reg"
check "(a DBQ changed by hand)" grep -qx '"DBQ"="D:\\\\mine.mdb"' "$reg"
run /x /q /log "$log"
check "removal with a data source changed by hand exits 0" test "$status" = 0
check "the changed data source is kept" grep -qx '"DBQ"="D:\\\\mine.mdb"' "$reg"
check "the changed data source is still listed" grep -qx '"Marvane-S"="Microsoft Access Driver (\*.mdb)"' "$reg"
check "the log says why it was left, as a warning" grep -qE "^${stamp}"'Marvane-S: left: warning: its DBQ is "D:\\mine.mdb"$' "$log"
check "the log's last line counts it" \
  test "$(tail -n 1 "$log" | cut -d' ' -f3-)" = "finished: $count data sources: $((count - 1)) removed, 1 left; exit status 0"
check "the others are removed" test "$(lines -E '^\[.*\\(Marvane|MV)[0-9]*-[RS][12]?\]$' "$reg")" = 1
check "the machine's own key is kept" grep -qx '"Keep"="this"' "$reg"

# An entry under ODBC Data Sources that names another driver, without its
# key, is never taken over; an entry of a later archive year alone, naming
# the Access driver, is found and removed.
home=$work/entry
reg=$home/.local/state/MarvaneSetup/HKLM.reg
log=$work/entry.log
later=MV$((year + 7))-R
other='"Marvane-R"="SQL Server"'
mkdir -p "$(dirname "$reg")"
printf '%s\n' REGEDIT4 '' "[HKEY_LOCAL_MACHINE\\$branch\\ODBC Data Sources]" "$other" '' >"$reg"
run /q /log "$log"
check "install beside another driver's entry exits 1" test "$status" = 1
check "that entry is left byte for byte" grep -qxF "$other" "$reg"
check "nothing of that data source is written" test "$(lines -F '\Marvane-R]' "$reg")" = 0
check "the install's log says it was left, naming the entry's driver" \
  grep -qE "^${stamp}"'Marvane-R: left: warning: its entry under ODBC Data Sources is "SQL Server"$' "$log"
run /check
check "check says it is not this program's" \
  grep -qxF "Marvane-R: missing: not this program's: its entry under ODBC Data Sources is \"SQL Server\"" "$work/out"
sed -i "/^$other\$/a \"$later\"=\"Microsoft Access Driver (*.mdb)\"" "$reg"
check "($later listed alone)" grep -qxF "\"$later\"=\"Microsoft Access Driver (*.mdb)\"" "$reg"
run /remove /q /log "$log"
check "removal beside another driver's entry exits 0" test "$status" = 0
check "removal leaves that entry byte for byte" grep -qxF "$other" "$reg"
check "removal's log says why it was left" test "$(lines -F 'Marvane-R: left: warning: its entry under' "$log")" = 2
check "$later, listed alone, is removed" test "$(lines -F "\"$later\"" "$reg")" = 0
check "the log says $later was removed" grep -qE "^${stamp}$later: removed$" "$log"

# Command lines that are not understood, and a log that cannot be written:
# nothing is opened or changed.
fresh=$work/fresh
for arguments in "/bogus" "/log" "/check /remove" "quiet"; do
  # shellcheck disable=SC2086
  HOME=$fresh "$exe" $arguments </dev/null >"$work/out" 2>"$work/err"
  status=$?
  check "\"$arguments\" exits 87 (was $status)" [ "$status" = 87 ]
  check "\"$arguments\" prints the usage on standard error" grep -q '^Usage:' "$work/err"
done
check "nothing was created for them" test ! -e "$fresh"
HOME=$fresh "$exe" /q /log "$work/no/such/dir/x.log" </dev/null >"$work/out" 2>"$work/err"
status=$?
check "an unwritable log stops the run with status 2" test "$status" = 2
check "the error names the log file" grep -q 'no/such/dir/x.log' "$work/err"
check "nothing was written for it" test ! -e "$fresh"
HOME=$fresh "$exe" /check </dev/null >"$work/out" 2>"$work/err"
check "check on a machine without a registry file creates nothing" test ! -e "$fresh"
HOME=$fresh "$exe" /? </dev/null >"$work/out" 2>&1
status=$?
check "/? exits 0 (was $status)" [ "$status" = 0 ]
check "/? prints the usage" grep -q '/check' "$work/out"

summary
