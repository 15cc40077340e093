# shellcheck shell=bash
# Checks of the built exes and of the screenshots, sourced by
# run-wine-tests.sh (check, pass, fail and skip are tests/lib.sh's).

readonly WINDOWS_FLOOR=6.1     # Windows 7 SP1, the oldest Windows the exes run on
readonly EXE_SIZE_LIMIT=524288 # 512 KiB
IMPORT_LIST=$(dirname "${BASH_SOURCE[0]}")/windows-imports.txt
readonly IMPORT_LIST

objdump_pe=$(command -v x86_64-w64-mingw32-objdump || true)

# version_number 6.1 -> 601
version_number() { awk -F. '{ printf "%d\n", $1 * 100 + $2 }' <<<"$1"; }

# pe_field EXE NAME: a field of `objdump -p`, such as MajorSubsystemVersion.
pe_field() { "$objdump_pe" -p "$1" | awk -v name="$2" '$1 == name { print $2; exit }'; }

# check_exe EXE LABEL: stripped, within the size limit, the PE headers name
# the Windows floor, and no import is newer than it; a .com is a console
# program (cmd waits for it) that asks for no elevation, an .exe the opposite.
check_exe() {
  local exe=$1 label=$2
  if [ -z "$objdump_pe" ]; then
    fail "$label: x86_64-w64-mingw32-objdump is installed (scripts/install-windows-deps.sh)"
    return
  fi
  local size
  size=$(stat -c %s "$exe")
  check "$label: at most $EXE_SIZE_LIMIT bytes (is $size)" [ "$size" -le $EXE_SIZE_LIMIT ]
  local debug_sections symbols
  debug_sections=$("$objdump_pe" -h "$exe" | grep -c ' \.debug' || true)
  symbols=$("$objdump_pe" -t "$exe" | grep -c '^\[' || true)
  local stripped=false
  [ "$debug_sections" -eq 0 ] && [ "$symbols" -eq 0 ] && stripped=true
  check "$label: stripped (debug sections $debug_sections, symbols $symbols)" $stripped

  local subsystem os
  subsystem=$(pe_field "$exe" MajorSubsystemVersion).$(pe_field "$exe" MinorSubsystemVersion)
  os=$(pe_field "$exe" MajorOSystemVersion).$(pe_field "$exe" MinorOSystemVersion)
  local named=false
  [ "$subsystem" = $WINDOWS_FLOOR ] && [ "$os" = $WINDOWS_FLOOR ] && named=true
  check "$label: PE subsystem version $subsystem and OS version $os are the floor $WINDOWS_FLOOR" $named

  local want="00000002 requireAdministrator" subsystem_field
  [ "${exe##*.}" = com ] && want="00000003 asInvoker"
  subsystem_field=$(pe_field "$exe" Subsystem)
  check "$label: PE subsystem is ${want% *} (was $subsystem_field)" [ "$subsystem_field" = "${want% *}" ]
  check "$label: manifest level is ${want#* }" grep -q "level=\"${want#* }\"" "$exe"

  # Every imported function, as "dll function", against the list.
  local verdicts
  verdicts=$("$objdump_pe" -p "$exe" |
    awk '/DLL Name:/ { dll = tolower($3) } /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ { print dll, $3 }' |
    awk -v floor="$(version_number $WINDOWS_FLOOR)" '
      NR == FNR { if ($0 !~ /^#/ && NF >= 3) { split($3, v, "."); known[$1 " " $2] = v[1] * 100 + v[2] } ; next }
      !(($1 " " $2) in known) { print "not listed: " $1 " " $2; next }
      known[$1 " " $2] > floor { print "newer than the floor: " $1 " " $2 }
    ' "$IMPORT_LIST" -)
  local count
  count=$("$objdump_pe" -p "$exe" | grep -cE '^	[0-9a-f]+	 +[0-9]+ +[A-Za-z_]')
  if [ -z "$verdicts" ] && [ "$count" -gt 0 ]; then
    pass "$label: all $count imported functions are listed in $(basename "$IMPORT_LIST") as Windows $WINDOWS_FLOOR or older"
  else
    fail "$label: imports ($count) against $(basename "$IMPORT_LIST"):"
    echo "$verdicts" | head -10 | sed 's/^/       /'
  fi
}

# check_stacking STACKING LABEL: in the window list saved with a screenshot
# (xwininfo -root -children, which lists the top-most window first), the
# main window is there and the outcome box is above it.
check_stacking() {
  local stacking=$1 label=$2
  if [ ! -s "$stacking" ]; then
    skip "$label: window stacking not recorded (xwininfo, from x11-utils, is not installed)"
    return
  fi
  local main box
  main=$(grep -n '"Marvane Setup": ("marvanesetup.exe"' "$stacking" | head -1 | cut -d: -f1)
  box=$(grep -n '"Marvane Installation": ("marvanesetup.exe"' "$stacking" | head -1 | cut -d: -f1)
  check "$label: the main window \"Marvane Setup\" is on the screen" [ -n "$main" ]
  local in_front=false
  [ -n "$box" ] && [ -n "$main" ] && [ "$box" -lt "$main" ] && in_front=true
  check "$label: the outcome box is in front of the main window (stacking order)" $in_front
}
