# shellcheck shell=bash disable=SC2154 # work, p64, the loaders, the exes, plain_status: the sourcing scripts'
# The log as Windows' log viewers read it, log paths that are refused (a
# second hard link, another account's file, a link on the way) and one
# outside the ANSI code page, for both exes in the 64-bit prefix. Sourced by
# run-wine-tests.sh, whose prefix, loaders and exes it uses.

two_runs_in_crlf() { [ "$(grep -c '\] MarvaneSetup ' "$1")" = 2 ] && ! grep -qv $'\r$' "$1"; }
every_line_matches() { ! grep -qvE "$2" "$1"; }
empty_folder() { [ -z "$(ls -A "$1")" ]; }
a_link() { [ -L "$1" ] || [ -e "$1" ]; }

# log_checks LABEL LOADER EXE
log_checks() {
  local label=$1 loader=$2 exe=$3 dir=$p64/drive_c/logs
  local key='HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432node\ODBC\ODBC.INI'
  local stamp='^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}[+-][0-9]{2}:[0-9]{2} \[[0-9]+\] '
  rm -rf "$dir" && mkdir -p "$dir"
  # An install that creates the log, then a removal that appends to it and
  # leaves a data source changed by hand: a warning line.
  run_plain "$loader" "$exe" /quiet /log 'C:\logs\setup.log'
  check "$label log: the install exits 0 (was $plain_status)" [ "$plain_status" = 0 ]
  in_prefix "$p64" "$wine64" reg add "$key\\Marvane-S" /v DBQ /d 'D:\mine.mdb' /f /reg:64 >/dev/null 2>&1
  run_plain "$loader" "$exe" /remove /quiet /log 'C:\logs\setup.log'
  check "$label log: a log this program made is taken again; the removal exits 0 (was $plain_status)" \
    [ "$plain_status" = 0 ]
  local log=$dir/setup.log build
  check "$label log: two runs' lines, every one ending in CRLF" two_runs_in_crlf "$log"
  check "$label log: every line starts with its local time, UTC offset and process id" \
    every_line_matches "$log" "$stamp"
  check "$label log: the line of the data source changed by hand says warning, and no line says error" \
    [ "$(grep -c '] Marvane-S: left: warning: its DBQ is "D:\\mine.mdb' "$log")-$(grep -ci error "$log")" = 1-0 ]
  build=$(in_prefix "$p64" "$wine64" reg query 'HKLM\Software\Microsoft\Windows NT\CurrentVersion' \
    /v CurrentBuildNumber | tr -d '\r' | awk '$1 == "CurrentBuildNumber" { print $3 }')
  check "$label log: the header names the real Windows build ($build) beside the reported version" \
    grep -qE "Windows [A-Za-z0-9]+ \(running on Windows [0-9]+\.[0-9]+ build ${build:-unknown}\)" "$log"
  in_prefix "$p64" "$wine64" reg delete "$key\\Marvane-S" /f /reg:64 >/dev/null 2>&1
  in_prefix "$p64" "$wine64" reg delete "$key\\ODBC Data Sources" /v Marvane-S /f /reg:64 >/dev/null 2>&1

  # A second name made on the Linux side: Wine reports two links for it.
  ln "$log" "$dir/linked.log"
  cp "$log" "$work/log-before"
  run_plain "$loader" "$exe" /quiet /log 'C:\logs\linked.log'
  check "$label log: a path with two hard links is refused, exit 2 (was $plain_status)" [ "$plain_status" = 2 ]
  check "$label log: the refusal says it has 2 hard links" grep -q 'linked.log" has 2 hard links' "$work/plain.out"
  check "$label log: the linked file is unchanged" cmp -s "$work/log-before" "$log"

  # A folder on the way that is a link: Wine 8 shows a Unix symbolic link as
  # a reparse point in the attributes of its name (not of a handle to it).
  local elsewhere=$p64/drive_c/elsewhere case link at
  rm -rf "$elsewhere" && mkdir -p "$elsewhere/inner"
  for case in 'linked C:\logs\linked\setup.log' 'up C:\logs\up\inner\setup.log'; do
    link=${case%% *} at=${case#* }
    ln -sfn "$elsewhere" "$dir/$link"
    run_plain "$loader" "$exe" /quiet /log "$at"
    check "$label log: $at, through a link, is refused, exit 2 (was $plain_status)" [ "$plain_status" = 2 ]
    check "$label log: the refusal names the link C:\\logs\\$link" grep -qF "reached through \"C:\\logs\\$link\"" "$work/plain.out"
    check "$label log: nothing made where the link points" empty_folder "$elsewhere/inner"
  done
  # Links that Windows makes: where this Wine makes none, the check says so.
  for case in '/d symbolic link made by CreateSymbolicLinkW' '/j junction made by FSCTL_SET_REPARSE_POINT'; do
    link=$dir/mklink${case:1:1}
    in_prefix "$p64" "$wine64" cmd /c mklink "${case%% *}" "$(wine_path "$link")" 'C:\elsewhere' >/dev/null 2>&1
    if a_link "$link"; then
      run_plain "$loader" "$exe" /quiet /log "$(wine_path "$link")\\inner\\setup.log"
      check "$label log: a folder that is a ${case#* }: refused, exit 2 (was $plain_status)" [ "$plain_status" = 2 ]
      check "$label log: nothing made where that link points" empty_folder "$elsewhere/inner"
    else
      skip "$label log: a folder that is a ${case#* }: $(wine --version) makes none (mklink ${case%% *} leaves nothing there); the refusal of a link on the way is checked above with a Unix link, and the final path's check by LogPathTest"
    fi
  done

  # A folder name outside the ANSI code page (Windows-1252 here): the log is
  # that file, not one whose name the code page made of it.
  local far='Журнал 日志'
  at="C:\\logs\\$far\\setup.log"
  rm -rf "${dir:?}/$far" && mkdir -p "$dir/$far"
  WINEPREFIX=$p64 LC_ALL=C.UTF-8 timeout "$RUN_TIMEOUT" env -u DISPLAY "$loader" "$exe" /quiet /log "$at" \
    </dev/null >"$work/plain.out" 2>&1
  plain_status=$?
  check "$label log: $at: the install exits 0 (was $plain_status)" [ "$plain_status" = 0 ]
  check "$label log: its lines are in exactly that file" grep -q '] finished: ' "$dir/$far/setup.log"

  # Wine gives a file of another Unix user another SID, and this program an
  # elevated token (its manifest asks for one): the owner is checked.
  if echo other >"$dir/other.log" && chown 65534 "$dir/other.log" 2>/dev/null; then
    run_plain "$loader" "$exe" /quiet /log 'C:\logs\other.log'
    check "$label log: a file another account owns is refused, exit 2 (was $plain_status)" [ "$plain_status" = 2 ]
  else
    skip "$label log: a file another account owns: only root can give it one here"
  fi
}

if [ -z "$p64" ] || [ ! -d "$p64" ]; then
  skip "log checks: no 64-bit prefix booted"
else
  [ -f "$exe_x64" ] && log_checks "x64, 64-bit prefix," "$wine64" "$exe_x64"
  if $can_run_32bit && [ -f "$exe_x86" ]; then
    log_checks "x86, 64-bit prefix," "$wine32" "$exe_x86"
  else
    skip "log checks of the x86 exe: 32-bit Wine cannot run here"
  fi
fi
