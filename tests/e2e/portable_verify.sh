#!/usr/bin/env bash
# /verify of the built MarvaneSetup against a state folder laid out as a
# Wine prefix: everything in place, links that leave the folder or loop,
# one database taken away, a FIFO and a folder for databases, a share that
# never answers, the driver file taken away, an unreadable registry.
# shellcheck source=start.sh
. "$(dirname "$0")/start.sh"
state=$work/home/.local/state/MarvaneSetup
run() { HOME=$work/home timeout -k 5 60 "$exe" "$@" </dev/null >"$work/out" 2>"$work/err"; status=$?; }
errors() { grep ": error: " "$work/out" | cut -d: -f1 | sort | tr '\n' ' '; }

run /quiet
# The driver's registration, its file where 32-bit programs load it (only
# 32-bit Windows has no other), every database on the share; c: as Wine links it.
printf '%s\n' "[HKEY_LOCAL_MACHINE\\${branch%ODBC.INI}ODBCINST.INI\\Microsoft Access Driver (*.mdb)]" \
  '"Driver"="C:\\Windows\\System32\\odbcjt32.dll"' >>"$state/HKLM.reg"
folder=syswow64 && [ "$branch" = 'SOFTWARE\ODBC\ODBC.INI' ] && folder=system32
mkdir -p "$state/drive_c/windows/$folder" "$state/dosdevices" "$work/outside" && ln -s ../drive_c "$state/dosdevices/c:"
echo stand-in >"$state/drive_c/windows/$folder/odbcjt32.dll"
share=$state/dosdevices/unc/VLKDATA01/VLK-Data
for ((y = 2002; y <= year; y++)); do
  dir=$share/MV-$y && [ "$y" = "$year" ] && dir=$share/Current
  mkdir -p "$dir" && for l in R R1 S S1 S2; do echo db >"$dir/Marvane-$l.mdb"; done
done
cp "$state/HKLM.reg" "$work/before"

run /verify
check "every data source in place: exit 0" test "$status" = 0
check "a line each, ok, then the counts" test "$(grep -c ': ok$' "$work/out")-$(tail -n1 "$work/out")" = \
  "$expected-$expected data sources: $expected ok"
check "the registry file is left as it was" cmp -s "$state/HKLM.reg" "$work/before"

mv "$share/MV-2002" "$share/MV-2003" "$work/outside/" && ln -s "$work/outside/MV-2002" "$share/MV-2002"
ln -s mv-2003 "$share/MV-2003"
run /verify
check "links out of the folder or in a loop are not followed" \
  test "$(errors)" = "MV2002-R MV2002-R1 MV2002-S MV2002-S1 MV2002-S2 MV2003-R MV2003-R1 MV2003-S MV2003-S1 MV2003-S2 "
rm "$share/MV-2002" "$share/MV-2003" && mv "$work/outside/MV-2002" "$work/outside/MV-2003" "$share/"

rm "$share/MV-2004/Marvane-S1.mdb"
run /verify
check "one database taken away: exit 1, that data source named with its file" test "$status-$(grep ': error: ' "$work/out")" = \
  '1-MV2004-S1: error: DBQ file \\VLKDATA01\VLK-Data\MV-2004\Marvane-S1.mdb: 2 (The system cannot find the file specified.)'

rm "$share/MV-2005/Marvane-R.mdb" "$share/MV-2005/Marvane-R1.mdb"
mkfifo "$share/MV-2005/Marvane-R.mdb" && mkdir "$share/MV-2005/Marvane-R1.mdb"
run /verify
check "a FIFO and a folder for databases: not regular files, the FIFO never opened" \
  test "$(grep -c ': a .*, not a regular file$' "$work/out")-$(errors)" = "2-MV2004-S1 MV2005-R MV2005-R1 "

if hang_folder "$share"; then
  trap 'release_folder; rm -rf "$work"' EXIT
  run /verify
  check "a share that never answers: /verify ends by itself (exit 1, was $status), each data source says so" \
    test "$status-$(grep -c ': \\\\VLKDATA01\\VLK-Data did not answer within 5 s$' "$work/out")" = "1-$expected"
  release_folder
else
  skip "a share that never answers: no FUSE mount here (bindfs, and /dev/fuse writable)"
fi

rm "$state/drive_c/windows/$folder/odbcjt32.dll"
run /verify
check "the driver file taken away: exit 1, every data source named with it" test "$status-$(grep -c \
  ": error: Driver file C:\\\\Windows\\\\System32\\\\odbcjt32.dll.*: 2 (" "$work/out")" = "1-$expected"

echo garbage >>"$state/HKLM.reg"
run /verify
check "a registry file that cannot be read: exit 2" test "$status" = 2

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
