#!/bin/bash
# Runs MarvaneSetup.exe of the Windows builds under Wine, as a user would, and
# checks what it left in the registry.
#
#   tests/wine/run-wine-tests.sh BUILD_X86 BUILD_X64
#
# BUILD_X86 and BUILD_X64 are the build directories of the windows-x86 and
# windows-x64 presets. Each run gets a fresh Wine prefix under a virtual X
# display of its own; every message box is closed by focusing it and
# pressing Return. Prints one line per check and at the end "N passed, M
# failed"; exits non-zero when a check failed. The 32-bit program runs with
# Wine's 32-bit loader, natively or under qemu-i386 where the kernel refuses
# 32-bit programs (cmake/wine32.sh); a 32-bit prefix can only be made
# natively, and its checks are skipped, with a line saying why, elsewhere.
#
# Needs wine, wine64, xvfb, xdotool, imagemagick and x11-utils (xwininfo, for
# the stacking order of the windows in the screenshots), the MinGW-w64
# objdump for the checks of the exes (tests/wine/exe-checks.sh), and where
# the kernel refuses 32-bit programs qemu-user (scripts/install-windows-deps.sh).
set -u

if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_X86 BUILD_X64" >&2
  exit 2
fi
exe_x86=$(cd "$1" 2>/dev/null && pwd)/MarvaneSetup.exe
exe_x64=$(cd "$2" 2>/dev/null && pwd)/MarvaneSetup.exe
screenshot=$(cd "$2" 2>/dev/null && pwd)/wine-screenshot.png
screenshot_144=$(cd "$2" 2>/dev/null && pwd)/wine-screenshot-144dpi.png
windowing_tests_x64=$(cd "$2" 2>/dev/null && pwd)/tests/win32/marvane_windowing_tests.exe

readonly RUN_TIMEOUT=120    # one run of the program, seconds
readonly BOOT_TIMEOUT=300   # wineboot of a fresh prefix
readonly COMMAND_TIMEOUT=60 # one reg command

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "PASS $*"; }
fail() { failed=$((failed + 1)); echo "FAIL $*"; }
skip() { echo "SKIP $*"; }
check() { # check NAME COMMAND...: PASS when the command succeeds
  local name=$1
  shift
  if "$@"; then pass "$name"; else fail "$name"; fi
}

work=$(mktemp -d "${TMPDIR:-/tmp}/marvane-wine.XXXXXX")
xvfb_pid=
prefixes=()

cleanup() {
  local prefix
  for prefix in "${prefixes[@]}"; do WINEPREFIX=$prefix timeout 30 wineserver -k >/dev/null 2>&1; done
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset WINEPREFIX WINEARCH

# ---------------------------------------------------------------------------
# Wine loaders and the display.

if [ -x /usr/lib/wine/wine64 ]; then
  wine64=/usr/lib/wine/wine64
elif command -v wine64 >/dev/null 2>&1; then
  wine64=$(command -v wine64)
else
  wine64=wine
fi
# The 32-bit loader and the 64-bit one that goes with it (under emulation,
# both from a loader tree in $work): the 64-bit prefix is booted and used
# with that one, so that its 32-bit half is there for the 32-bit program.
wine32=
can_run_32bit=false
wine32_native=false
if loaders=$(sh "$(dirname "$0")/../../cmake/wine32.sh" "$work" 2>"$work/wine32-reason"); then
  can_run_32bit=true
  wine32=$(sed -n 1p <<<"$loaders")
  wine64=$(sed -n 2p <<<"$loaders")
  [ "$wine32" = /usr/lib/wine/wine ] && wine32_native=true
  if $wine32_native; then echo "32-bit programs run with Wine's own 32-bit loader"
  else echo "32-bit programs run with Wine's 32-bit loader under qemu-i386 ($wine32)"; fi
fi
no_32bit_reason=$(tail -n1 "$work/wine32-reason" 2>/dev/null)

for tool in wine wineserver Xvfb xdotool import; do
  if ! command -v $tool >/dev/null 2>&1; then
    fail "$tool is installed (scripts/install-windows-deps.sh)"
    echo "$passed passed, $failed failed"
    exit 1
  fi
done

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 50); do [ -s "$work/display" ] && break; sleep 0.2; done
if [ ! -s "$work/display" ]; then
  fail "a virtual display starts"
  echo "$passed passed, $failed failed"
  exit 1
fi
export DISPLAY=:$(head -n1 "$work/display")

# ---------------------------------------------------------------------------
# Prefixes and the registry.

# in_prefix PREFIX LOADER COMMAND...: a Wine command in a prefix, bounded.
in_prefix() {
  local prefix=$1 loader=$2
  shift 2
  WINEPREFIX=$prefix timeout $COMMAND_TIMEOUT "$loader" "$@" </dev/null
}

# boot_prefix PREFIX win64|win32 LOADER
boot_prefix() {
  local prefix=$1 arch=$2 loader=$3
  prefixes+=("$prefix")
  WINEPREFIX=$prefix WINEARCH=$arch timeout $BOOT_TIMEOUT "$loader" wineboot -i </dev/null >/dev/null 2>&1 ||
    return 1
  # A server that stays while the prefix is in use saves a start per command.
  WINEPREFIX=$prefix wineserver -p60 </dev/null >/dev/null 2>&1
  # No window manager on the display: Wine draws the captions itself.
  in_prefix "$prefix" "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
}

# export_key PREFIX LOADER KEY OUT [/reg:64]: the key as lines
# "KEY|NAME|VALUE" (sorted; an absent key gives an empty file).
# same_export BEFORE AFTER: identical, else show what differs. Wine itself
# lists the machine's network cards under ...\CurrentVersion\NetworkCards
# whenever one of its services gets round to it, which may fall between two
# runs; those lines are not compared.
same_export() {
  local before=$work/same-before after=$work/same-after
  grep -v '\\CurrentVersion\\NetworkCards' "$1" >"$before"
  grep -v '\\CurrentVersion\\NetworkCards' "$2" >"$after"
  cmp -s "$before" "$after" && return 0
  diff "$before" "$after" | head -n 20 | sed 's/^/    /'
  return 1
}

export_key() {
  local prefix=$1 loader=$2 key=$3 out=$4
  shift 4
  local raw=$work/export.reg try
  for try in 1 2 3; do
    rm -f "$raw"
    in_prefix "$prefix" "$loader" reg export "$key" 'Z:'"$(echo "$raw" | tr / '\\')" "$@" /y >/dev/null 2>&1
    [ -s "$raw" ] && break
    # An absent key exports nothing. Now and then an export of a key that is
    # there gives nothing too (seen here once, under Wine 8): it
    # is tried again, and said.
    key_exists "$prefix" "$loader" "$key" "$@" || break
    echo "note: reg export of $key gave nothing though the key exists (try $try)"
  done
  if [ ! -s "$raw" ]; then
    : >"$out"
    return
  fi
  iconv -f UTF-16LE -t UTF-8 "$raw" | sed -e 's/^\xEF\xBB\xBF//' -e 's/\r$//' | awk '
    /^\[/ { key = substr($0, 2, length($0) - 2); print key "|"; next }
    /^"/ || /^@=/ {
      if ($0 ~ /^@=/) { name = "@"; value = substr($0, 3) }
      else { i = index($0, "\"="); name = substr($0, 2, i - 2); value = substr($0, i + 2) }
      gsub(/\\\\/, "\\", name)
      if (value ~ /^"/) { value = substr(value, 2, length(value) - 2); gsub(/\\\\/, "\\", value); gsub(/\\"/, "\"", value) }
      print key "|" name "|" value
    }' | LC_ALL=C sort >"$out"
}

key_exists() { # key_exists PREFIX LOADER KEY [/reg:64]
  local prefix=$1 loader=$2 key=$3
  shift 3
  in_prefix "$prefix" "$loader" reg query "$key" "$@" >/dev/null 2>&1
}

# ---------------------------------------------------------------------------
# Running the program as a user would.

# run_setup PREFIX LOADER EXE LABEL [SCREENSHOT]: runs the program, closes its
# message boxes with Return, and sets run_status, run_boxes (the captions of
# the boxes it showed, one a line) and run_unexpected.
run_setup() {
  local prefix=$1 loader=$2 exe=$3 label=$4 shot=${5:-}
  local status_file=$work/status log=$work/run-$label.log
  rm -f "$status_file"
  run_boxes=
  run_unexpected=
  (
    WINEPREFIX=$prefix timeout $RUN_TIMEOUT "$loader" "$exe" </dev/null >"$log" 2>&1
    echo $? >"$status_file"
  ) &
  local runner=$! deadline=$((SECONDS + RUN_TIMEOUT + 10)) class
  class=$(basename "$exe" | tr '[:upper:]' '[:lower:]')
  while [ ! -f "$status_file" ] && [ $SECONDS -lt $deadline ]; do
    local id name
    for id in $(xdotool search --onlyvisible --class "^$class\$" 2>/dev/null); do
      name=$(xdotool getwindowname "$id" 2>/dev/null) || continue
      case $name in
        "Marvane Setup" | "Searching" | "Default IME" | "") continue ;;
        "Marvane Installation") ;;
        *) run_unexpected+="$name;" ;;
      esac
      if [ -n "$shot" ] && [ ! -f "$shot.taken" ]; then
        sleep 1  # let the box and the window behind it paint
        # The stacking order of the windows, as the screenshot shows them.
        xwininfo -root -children >"$shot.stacking" 2>/dev/null || rm -f "$shot.stacking"
        import -window root "$shot" 2>/dev/null && touch "$shot.taken"
      fi
      case $'\n'"$run_boxes" in *$'\n'"$name"$'\n'*) ;; *) run_boxes+="$name"$'\n' ;; esac
      timeout 5 xdotool windowfocus --sync "$id" 2>/dev/null
      xdotool key Return 2>/dev/null
      sleep 1
    done
    sleep 0.5
  done
  wait "$runner" 2>/dev/null
  run_status=$(cat "$status_file" 2>/dev/null || echo timeout)
  rm -f "$shot.taken"
}

# ---------------------------------------------------------------------------
# What the program should have written.

suffixes=(-R -R1 -S -S1 -S2)
year=$(date +%Y)
names=()
for suffix in "${suffixes[@]}"; do names+=("Marvane$suffix"); done
for ((y = 2002; y < year; y++)); do
  for suffix in "${suffixes[@]}"; do names+=("MV$y$suffix"); done
done

# expected_values BRANCH DRIVER: the lines export_key gives for every value
# whose content is fixed.
expected_values() {
  local branch=$1 driver=$2 name
  for name in "${names[@]}"; do
    printf '%s|%s|%s\n' \
      "$branch\\$name" Driver "$driver" \
      "$branch\\$name" DriverId dword:00000019 \
      "$branch\\$name" FIL "MS Access;" \
      "$branch\\$name" SafeTransactions dword:00000000 \
      "$branch\\$name" UID "" \
      "$branch\\$name\\Engines\\Jet" ImplicitCommitSync "" \
      "$branch\\$name\\Engines\\Jet" MaxBufferSize dword:00000800 \
      "$branch\\$name\\Engines\\Jet" PageTimeout dword:00000005 \
      "$branch\\$name\\Engines\\Jet" Threads dword:00000003 \
      "$branch\\$name\\Engines\\Jet" UserCommitSync "Yes" \
      "$branch\\ODBC Data Sources" "$name" "Microsoft Access Driver (*.mdb)"
  done | LC_ALL=C sort
}

# missing_lines EXPECTED ACTUAL: the expected lines that are not there.
missing_lines() { LC_ALL=C comm -23 "$1" "$2"; }

# check_branch LABEL FILE BRANCH DRIVER: every data source with every value.
check_branch() {
  local label=$1 actual=$2 branch=$3 driver=$4
  local expected=$work/expected missing
  expected_values "$branch" "$driver" >"$expected"
  missing=$(missing_lines "$expected" "$actual")
  if [ -z "$missing" ]; then
    pass "$label: ${#names[@]} data sources under $branch, every fixed value as expected (Driver $driver)"
  else
    fail "$label: values missing or different under $branch ($(echo "$missing" | wc -l) lines), first:"
    echo "$missing" | head -5 | sed 's/^/       /'
  fi

  # DBQ and Description: strings of the program's choosing, but there.
  local name absent=
  for name in "${names[@]}"; do
    for value in DBQ Description; do
      grep -q "^$(printf '%s' "$branch\\$name" | sed 's/[\\.*^$[]/\\&/g')|$value|" "$actual" ||
        absent+=" $name:$value"
    done
  done
  if [ -z "$absent" ]; then pass "$label: every data source has DBQ and Description"
  else fail "$label: without DBQ/Description:${absent:0:200}"; fi

  # Nothing but the expected data sources (and the list) below the branch.
  local extra
  extra=$(cut -d'|' -f1 "$actual" | sort -u | awk -v b="$branch\\" 'index($0, b) == 1 { print substr($0, length(b) + 1) }' |
    awk -F'\\' '{ print $1 }' | sort -u | grep -vxF -f <(printf '%s\n' "${names[@]}" "ODBC Data Sources"))
  if [ -z "$extra" ]; then pass "$label: no other keys under $branch"
  else fail "$label: other keys under $branch: $(echo $extra | head -c 200)"; fi
}

check_run() { # check_run LABEL: the run ended well, with the completion box
  local label=$1
  check "$label: exit status 0 (was $run_status)" [ "$run_status" = 0 ]
  check "$label: completion box \"Marvane Installation\" shown and closed" \
    grep -qx "Marvane Installation" <<<"$run_boxes"
  check "$label: no other message box${run_unexpected:+ (saw: $run_unexpected)}" [ -z "$run_unexpected" ]
}

readonly WOW_BRANCH='HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432node\ODBC\ODBC.INI'
readonly NATIVE_BRANCH='HKEY_LOCAL_MACHINE\SOFTWARE\ODBC\ODBC.INI'
readonly DOUBLED='HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\WOW6432node'

# ---------------------------------------------------------------------------
# 64-bit prefix: both programs write the WOW6432node branch.

for exe in "$exe_x86" "$exe_x64"; do
  check "program built: $exe" [ -f "$exe" ]
done

# Size, stripping and the oldest Windows, from the exes themselves.
. "$(dirname "$0")/exe-checks.sh"
. "$(dirname "$0")/verify-checks.sh"
[ -f "$exe_x86" ] && check_exe "$exe_x86" "x86 exe"
[ -f "$exe_x64" ] && check_exe "$exe_x64" "x64 exe"

p64=$work/win64
if [ -f "$exe_x64" ] && check "64-bit prefix boots" boot_prefix "$p64" win64 "$wine64"; then
  # What the prefix had before any run.
  export_key "$p64" "$wine64" "$NATIVE_BRANCH" "$work/native-before" /reg:64
  export_key "$p64" "$wine64" "$WOW_BRANCH" "$work/wow-before" /reg:64

  in_prefix "$p64" "$wine64" reg export "$WOW_BRANCH" 'Z:'"$(echo "$work/wow-before.reg" | tr / '\\')" \
    /reg:64 /y >/dev/null 2>&1

  # restore_wow: the WOW6432node branch as before the first run.
  restore_wow() {
    in_prefix "$p64" "$wine64" reg delete "$WOW_BRANCH" /f /reg:64 >/dev/null 2>&1
    if [ -s "$work/wow-before" ]; then
      in_prefix "$p64" "$wine64" reg import 'Z:'"$(echo "$work/wow-before.reg" | tr / '\\')" /reg:64 >/dev/null 2>&1
    fi
  }
  key_absent_64() { ! key_exists "$p64" "$wine64" "$1" /reg:64; }

  # check_wow_run LABEL DRIVER: after one run in the 64-bit prefix.
  check_wow_run() {
    local label=$1 driver=$2
    export_key "$p64" "$wine64" "$WOW_BRANCH" "$work/wow" /reg:64
    check_branch "$label" "$work/wow" "$WOW_BRANCH" "$driver"
    export_key "$p64" "$wine64" "$NATIVE_BRANCH" "$work/native" /reg:64
    check "$label: nothing written under the 64-bit view's SOFTWARE\\ODBC\\ODBC.INI" \
      cmp -s "$work/native-before" "$work/native"
    check "$label: no doubled Wow6432Node\\WOW6432node key" key_absent_64 "$DOUBLED"
  }

  # x64 program, then again: the second run writes nothing.
  rm -f "$screenshot"
  run_setup "$p64" "$wine64" "$exe_x64" x64 "$screenshot"
  check_run "x64, 64-bit prefix"
  # Windows 8.1 and later: the driver in the system directory Windows reports.
  check_wow_run "x64, 64-bit prefix" 'C:\windows\system32\odbcjt32.dll'
  if [ -f "$screenshot" ]; then
    pass "screenshot of the main window with the completion box: $screenshot"
    check_stacking "$screenshot.stacking" "x64, screenshot"
  else
    fail "screenshot of the main window with the completion box"
  fi

  export_key "$p64" "$wine64" 'HKEY_LOCAL_MACHINE\SOFTWARE' "$work/software-1" /reg:64
  run_setup "$p64" "$wine64" "$exe_x64" x64-again
  check_run "x64, 64-bit prefix, second run"
  export_key "$p64" "$wine64" 'HKEY_LOCAL_MACHINE\SOFTWARE' "$work/software-2" /reg:64
  check "x64, 64-bit prefix, second run: HKLM\\SOFTWARE unchanged" same_export "$work/software-1" "$work/software-2"

  # The switches a deployment tool uses, with no display at all for the
  # unattended ones: a detection, an install with a log, a detection, a
  # removal that brings the branch back, and a second removal.
  # run_plain LOADER EXE ARGS...: no boxes to close; sets plain_status.
  run_plain() {
    local loader=$1 exe=$2
    shift 2
    WINEPREFIX=$p64 timeout $RUN_TIMEOUT env -u DISPLAY "$loader" "$exe" "$@" </dev/null >"$work/plain.out" 2>&1
    plain_status=$?
  }
  # deploy_checks LABEL LOADER EXE
  deploy_checks() {
    local label=$1 loader=$2 exe=$3 log=$p64/drive_c/deploy.log
    restore_wow
    rm -f "$log"
    # As on Windows, where these keys are there before any data source is.
    in_prefix "$p64" "$wine64" reg add "$WOW_BRANCH\\ODBC Data Sources" /f /reg:64 >/dev/null 2>&1
    export_key "$p64" "$wine64" "$WOW_BRANCH" "$work/deploy-before" /reg:64
    run_plain "$loader" "$exe" /check
    check "$label /check before the install: exit 1 (was $plain_status)" [ "$plain_status" = 1 ]
    check "$label /check lists the missing data sources on standard output" grep -q '^MV2002-R: missing' "$work/plain.out"
    run_plain "$loader" "$exe" /quiet /log 'C:\deploy.log'
    check "$label /quiet without a display: exit 0 (was $plain_status)" [ "$plain_status" = 0 ]
    check_wow_run "$label /quiet" 'C:\windows\system32\odbcjt32.dll'
    check "$label /log: a line per data source and the exit status" \
      bash -c "[ \$(grep -c ': registered' '$log') -gt 100 ] && tail -n 1 '$log' | grep -q 'exit status 0'"
    run_plain "$loader" "$exe" -CHECK
    check "$label /check after the install: exit 0 (was $plain_status)" [ "$plain_status" = 0 ]
    run_plain "$loader" "$exe" /remove /q
    check "$label /remove: exit 0 (was $plain_status)" [ "$plain_status" = 0 ]
    export_key "$p64" "$wine64" "$WOW_BRANCH" "$work/deploy-after" /reg:64
    check "$label /remove brings the branch back to what it was" same_export "$work/deploy-before" "$work/deploy-after"
    run_plain "$loader" "$exe" --uninstall /q
    check "$label a second /remove: exit 0 (was $plain_status)" [ "$plain_status" = 0 ]
    run_plain "$loader" "$exe" /bogus
    check "$label a switch not understood: exit 87 (was $plain_status)" [ "$plain_status" = 87 ]
  }
  deploy_checks "x64, 64-bit prefix," "$wine64" "$exe_x64"
  verify_checks "x64, 64-bit prefix," "$p64" "$wine64" "$exe_x64"

  # At 144 dpi (150 %): the program, with a screenshot to look at, and the
  # windowing tests, whose label font must then be TrueType.
  in_prefix "$p64" "$wine64" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
  WINEPREFIX=$p64 timeout 30 wineserver -k >/dev/null 2>&1 # the display's resolution is read at start
  WINEPREFIX=$p64 wineserver -p60 </dev/null >/dev/null 2>&1
  rm -f "$screenshot_144"
  run_setup "$p64" "$wine64" "$exe_x64" x64-144dpi "$screenshot_144"
  check_run "x64, 64-bit prefix at 144 dpi"
  if [ -f "$screenshot_144" ]; then
    pass "screenshot at 144 dpi: $screenshot_144"
    check_stacking "$screenshot_144.stacking" "x64, screenshot at 144 dpi"
  else
    fail "screenshot at 144 dpi"
  fi
  if [ -f "$windowing_tests_x64" ]; then
    if WINEPREFIX=$p64 timeout $RUN_TIMEOUT "$wine64" "$windowing_tests_x64" >"$work/windowing-144.log" 2>&1 </dev/null; then
      pass "windowing tests at 144 dpi ($(grep -c '^\[       OK \]' "$work/windowing-144.log") passed)"
    else
      fail "windowing tests at 144 dpi:"
      grep -E 'Failure|Expected|Which is|Value of|FAILED' "$work/windowing-144.log" | head -n 20 | sed 's/^/    /'
    fi
  else
    skip "windowing tests at 144 dpi: $windowing_tests_x64 not built"
  fi
  in_prefix "$p64" "$wine64" reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1
  WINEPREFIX=$p64 timeout 30 wineserver -k >/dev/null 2>&1
  WINEPREFIX=$p64 wineserver -p60 </dev/null >/dev/null 2>&1

  # x86 program under WOW64.
  if $can_run_32bit && [ -f "$exe_x86" ]; then
    restore_wow
    run_setup "$p64" "$wine32" "$exe_x86" x86-wow64
    check_run "x86, 64-bit prefix"
    check_wow_run "x86, 64-bit prefix" 'C:\windows\system32\odbcjt32.dll'
    export_key "$p64" "$wine64" 'HKEY_LOCAL_MACHINE\SOFTWARE' "$work/software-1" /reg:64
    run_setup "$p64" "$wine32" "$exe_x86" x86-wow64-again
    check_run "x86, 64-bit prefix, second run"
    export_key "$p64" "$wine64" 'HKEY_LOCAL_MACHINE\SOFTWARE' "$work/software-2" /reg:64
    check "x86, 64-bit prefix, second run: HKLM\\SOFTWARE unchanged" same_export "$work/software-1" "$work/software-2"
    deploy_checks "x86, 64-bit prefix," "$wine32" "$exe_x86"
    verify_checks "x86, 64-bit prefix," "$p64" "$wine32" "$exe_x86"
  else
    skip "x86 program in the 64-bit prefix: ${no_32bit_reason:-no 32-bit program built}"
  fi

  # Wine reporting the versions whose driver folder is named by the program.
  for version in 'win98 C:\Windows\System' 'win2k C:\WinNT\System32'; do
    restore_wow
    in_prefix "$p64" "$wine64" reg add 'HKCU\Software\Wine' /v Version /d "${version%% *}" /f >/dev/null 2>&1
    run_setup "$p64" "$wine64" "$exe_x64" "x64-${version%% *}"
    check_run "x64, 64-bit prefix as ${version%% *}"
    check_wow_run "x64, 64-bit prefix as ${version%% *}" "${version#* }\odbcjt32.dll"
  done
  in_prefix "$p64" "$wine64" reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null 2>&1
  WINEPREFIX=$p64 timeout 30 wineserver -k >/dev/null 2>&1
fi

# ---------------------------------------------------------------------------
# 32-bit prefix: the x86 program writes the native branch.

if $wine32_native && [ -f "$exe_x86" ]; then
  p32=$work/win32
  if check "32-bit prefix boots" boot_prefix "$p32" win32 "$wine32"; then
    export_key "$p32" "$wine32" "$WOW_BRANCH" "$work/wow32-before"
    run_setup "$p32" "$wine32" "$exe_x86" x86-win32
    check_run "x86, 32-bit prefix"
    export_key "$p32" "$wine32" "$NATIVE_BRANCH" "$work/native32"
    check_branch "x86, 32-bit prefix" "$work/native32" "$NATIVE_BRANCH" 'C:\windows\system32\odbcjt32.dll'
    export_key "$p32" "$wine32" "$WOW_BRANCH" "$work/wow32"
    check "x86, 32-bit prefix: nothing written under SOFTWARE\\WOW6432node" cmp -s "$work/wow32-before" "$work/wow32"
    WINEPREFIX=$p32 timeout 30 wineserver -k >/dev/null 2>&1
  fi
elif $can_run_32bit; then
  skip "x86 program in a 32-bit prefix: Wine's 32-bit loader runs here only under qemu-i386, which cannot make a 32-bit-only prefix (that would need binfmt_misc)"
else
  skip "x86 program in a 32-bit prefix: ${no_32bit_reason:-no 32-bit program built}"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
