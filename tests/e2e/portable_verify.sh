#!/usr/bin/env bash
# /verify of the built MarvaneSetup against a state folder laid out as a
# Wine prefix: everything in place, then one database taken away, then the
# driver file; and a registry file that cannot be read.
set -u
exe=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=lib.sh
. "$(dirname "$0")/lib.sh"

home=$work/home
state=$home/.local/state/MarvaneSetup
run() {  # run ARGS...: status in $status, standard output in $work/out
  HOME=$home "$exe" "$@" </dev/null >"$work/out" 2>"$work/err"
  status=$?
}
errors() { grep -c ': error: ' "$work/out"; }

run /quiet
# The driver's registration, its file where 32-bit programs load it (only
# 32-bit Windows has none other), and every database on the server's share.
printf '%s\n' "[HKEY_LOCAL_MACHINE\\${branch%ODBC.INI}ODBCINST.INI\\Microsoft Access Driver (*.mdb)]" \
  '"Driver"="C:\\Windows\\System32\\odbcjt32.dll"' '' >>"$state/HKLM.reg"
folder=syswow64
[ "$branch" = 'SOFTWARE\ODBC\ODBC.INI' ] && folder=system32
mkdir -p "$state/drive_c/windows/$folder" "$state/dosdevices" && ln -s ../drive_c "$state/dosdevices/c:"
echo stand-in >"$state/drive_c/windows/$folder/odbcjt32.dll"
share=$state/dosdevices/unc/VLKDATA01/VLK-Data
for ledger in R R1 S S1 S2; do
  mkdir -p "$share/Current" && echo db >"$share/Current/Marvane-$ledger.mdb"
  for ((y = 2002; y < year; y++)); do mkdir -p "$share/MV-$y" && echo db >"$share/MV-$y/Marvane-$ledger.mdb"; done
done
cp "$state/HKLM.reg" "$work/before"

run /verify
check "every data source in place: exit 0" test "$status" = 0
check "a line each, ok, then the counts" test "$(grep -c ': ok$' "$work/out")-$(tail -n1 "$work/out")" = \
  "$expected-$expected data sources: $expected ok"
check "the registry file is left as it was" cmp -s "$state/HKLM.reg" "$work/before"

rm "$share/MV-2003/Marvane-S1.mdb"
run /verify
check "one database taken away: exit 1" test "$status" = 1
check "that data source, and only it, named with its file" test "$(errors)-$(grep ': error: ' "$work/out")" = \
  '1-MV2003-S1: error: DBQ file \\VLKDATA01\VLK-Data\MV-2003\Marvane-S1.mdb: 2 (The system cannot find the file specified.)'

rm "$state/drive_c/windows/$folder/odbcjt32.dll"
run /verify
check "the driver file taken away: exit 1" test "$status" = 1
check "every data source named with the driver file" \
  test "$(grep -c ": error: Driver file C:\\\\Windows\\\\System32\\\\odbcjt32.dll.*: 2 (" "$work/out")" = "$expected"

echo garbage >>"$state/HKLM.reg"
run /verify
check "a registry file that cannot be read: exit 2" test "$status" = 2

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
