#!/usr/bin/env bash
# The log path through a symbolic link (as the file or a folder on the way)
# is refused (exit status 2, nothing written anywhere); a file-size limit
# reached halfway is reported, not a death by SIGXFSZ.
# shellcheck source=start.sh
. "$(dirname "$0")/start.sh"

home=$work/home
reg=$home/.local/state/MarvaneSetup/HKLM.reg
run() { # run LOG: status in $status, standard error in $work/err
  HOME=$home timeout 20 "$exe" /quiet /log "$1" </dev/null >/dev/null 2>"$work/err"
  status=$?
}

echo precious >"$work/target"
ln -s "$work/target" "$work/symlink.log"
untouched() { [ "$(cat "$work/target")" = precious ] && [ ! -e "$home" ]; }
run "$work/symlink.log"
check "the log path symlink.log: exit 2 (was $status)" test "$status" = 2
check "the log path symlink.log: the error names it" grep -q "symlink.log" "$work/err"
check "the log path symlink.log: the target is untouched, the registry not made" untouched

# A symbolic link on the way to the log, as a folder of its path.
mkdir "$work/real-folder"
ln -s "$work/real-folder" "$work/linked-folder"
rm -rf "$home"
run "$work/linked-folder/setup.log"
nothing_made() { [ -z "$(ls -A "$work/real-folder")" ] && [ ! -e "$home" ]; }
check "a log reached through a symbolic link to its folder: exit 2 (was $status)" test "$status" = 2
check "a log reached through a symbolic link to its folder: the error names the link" \
  grep -q "through \"$work/linked-folder\", a symbolic link" "$work/err"
check "a log reached through a symbolic link to its folder: nothing made there, the registry not made" nothing_made

# The log 300 bytes short of the limit, which the registry files stay well
# within: its header fits, the data sources' lines do not.
head -c $((256 * 1024 - 300)) /dev/zero >"$work/limited.log"
(ulimit -f 256 && run "$work/limited.log" && echo "$status" >"$work/status")
status=$(cat "$work/status" 2>/dev/null || echo killed)
check "a log that reaches the file-size limit: exit 1, not a signal (was $status)" test "$status" = 1
check "a log that reaches the file-size limit: said on standard error" grep -q 'limited.log" could not be written' "$work/err"
check "a log that reaches the file-size limit: the registry work went on" grep -q '^"MV2002-S2"=' "$reg"

summary
