#!/usr/bin/env bash
# Runs the built MarvaneSetup against a machine registry file in a temporary
# home, the way an administrator would: a first run, a rerun, a file with
# entries of its own, a malformed file and a user without write rights.
# shellcheck source=start.sh
. "$(dirname "$0")/start.sh"
chmod 755 "$work"
driver='C:\\Windows\\System32\\odbcjt32.dll'
branch_re=${branch//\\/\\\\}

run() {  # run HOME: runs the program with no terminal on input
  HOME=$1 "$exe" </dev/null >"$work/out" 2>"$work/err"
  echo $? >"$work/status"
}
status() { cat "$work/status"; }
sections() { grep -c "^\[HKEY_LOCAL_MACHINE\\\\$branch_re\\\\[^\\\\]*\]\$" "$1" | awk '{print $1 - 1}'; }

# A first run registers every data source.
home1=$work/first
mkdir -p "$home1"
reg1=$home1/.local/state/MarvaneSetup/HKLM.reg
run "$home1"
check "first run exits 0" test "$(status)" = 0
check "first run reports completion" grep -q "Setup Complete - DO NOT run this setup again." "$work/out"
check "progress window shown and closed" grep -q "^\[Searching\] closed" "$work/out"
check "registry file starts with REGEDIT4" test "$(head -n 1 "$reg1")" = REGEDIT4
check "$expected data sources in the branch" test "$(sections "$reg1")" = "$expected"
check "listing holds $expected entries" test "$(grep -c '="Microsoft Access Driver (\*.mdb)"$' "$reg1")" = "$expected"
check "Driver names the driver file" grep -qxF "\"Driver\"=\"$driver\"" "$reg1"
check "archive data source of last year" grep -q "^\[HKEY_LOCAL_MACHINE\\\\$branch_re\\\\MV$((year - 1))-S2\\\\Engines\\\\Jet\]$" "$reg1"
check "string values carry no NUL" grep -qx '"UserCommitSync"="Yes"' "$reg1"
check "numbers are dwords" grep -qx '"MaxBufferSize"=dword:00000800' "$reg1"
lacks() { ! grep -qi "$1" "$2"; } # lacks TEXT FILE
check "processor identifier is not stored" lacks HARDWARE "$reg1"
check "no temporary file left" test ! -e "$reg1.tmp"

# A rerun changes nothing. The file is dated back first, so that a rewrite
# would show in its time.
touch -d '2001-01-01 00:00:00' "$reg1"
cp -p "$reg1" "$work/before"
run "$home1"
check "rerun exits 0" test "$(status)" = 0
check "rerun leaves the file byte-identical" cmp -s "$reg1" "$work/before"
check "rerun leaves the file's time alone" test "$(stat -c %Y "$reg1")" = "$(stat -c %Y "$work/before")"

# Entries of the machine's own survive, and a complete data source made by
# hand (another path and driver file, listed for the Access driver) is skipped.
home2=$work/seeded
mkdir -p "$home2/.local/state/MarvaneSetup"
reg2=$home2/.local/state/MarvaneSetup/HKLM.reg
printf '%s\r\n' 'REGEDIT4' '' '; written by hand' \
  "[HKEY_LOCAL_MACHINE\\$branch\\Marvane-R]" '"DBQ"="\\\\OTHER\\share\\mine.mdb"' \
  '"Driver"="D:\\Other\\other.dll"' '' "[HKEY_LOCAL_MACHINE\\$branch\\ODBC Data Sources]" '"Marvane-R"="Microsoft Access Driver (*.mdb)"' '' \
  '[HKEY_LOCAL_MACHINE\SOFTWARE\Vendor\Tool]' '"Name"="quoted \"text\" with \\ backslash"' \
  '"Count"=dword:ffffffff' "\"Blob\"=hex:00,01,02,\\" '  fe,ff' '@="default"' >"$reg2"
run "$home2"
check "seeded run exits 0" test "$(status)" = 0
check "hand-made string kept" grep -qx '"Name"="quoted \\"text\\" with \\\\ backslash"' "$reg2"
check "hand-made dword kept" grep -qx '"Count"=dword:ffffffff' "$reg2"
check "hand-made binary kept" grep -qx '"Blob"=hex:00,01,02,fe,ff' "$reg2"
check "hand-made default value kept" grep -qx '@="default"' "$reg2"
section() {  # section FILE HEADER: the lines of one key section
  H=$2 awk '$0 == ENVIRON["H"] { on = 1; next } on && /^$/ { exit } on { print }' "$1"
}
check "present data source left untouched" test "$(section "$reg2" "[HKEY_LOCAL_MACHINE\\$branch\\Marvane-R]")" = \
  "$(printf '%s\n' '"DBQ"="\\\\OTHER\\share\\mine.mdb"' '"Driver"="D:\\Other\\other.dll"')"
check "the others are registered" test "$(sections "$reg2")" = "$expected"

# A malformed file stops the run and is left as it was.
home3=$work/malformed
mkdir -p "$home3/.local/state/MarvaneSetup"
reg3=$home3/.local/state/MarvaneSetup/HKLM.reg
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\n"A"=dword:1x\n' >"$reg3"
cp "$reg3" "$work/malformed.before"
run "$home3"
check "malformed file exits 2" test "$(status)" = 2
check "error names file and line" grep -q "HKLM.reg:4: " "$work/err"
check "malformed file left byte for byte" cmp -s "$reg3" "$work/malformed.before"
check "no window shown for a malformed file" test ! -s "$work/out"

# Without write rights every registration fails, and says so.
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
  home4=$work/readonly
  mkdir -p "$home4/.local/state/MarvaneSetup"
  printf 'REGEDIT4\n\n' >"$home4/.local/state/MarvaneSetup/HKLM.reg"
  chmod -R a+rX,a-w "$home4"
  HOME=$home4 setpriv --reuid=65534 --regid=65534 --clear-groups "$exe" </dev/null >"$work/out" 2>"$work/err"
  echo $? >"$work/status"
  check "no write rights exits 1" test "$(status)" = 1
  check "outcome says setup did not complete" grep -q "Setup did not complete: $expected of $expected data sources" "$work/out"
  check "outcome says what to do" grep -q "run this setup as an administrator" "$work/out"
  chmod -R u+w "$home4"
else
  skip "no write rights: needs root and setpriv to run the program as another user"
fi

summary
