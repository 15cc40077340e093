#!/usr/bin/env bash
# Runs MarvaneSetup.exe of the Windows builds under Wine, as a user would, and
# checks what it left in the registry.
#
#   tests/wine/run-wine-tests.sh BUILD_X86 BUILD_X64
#
# BUILD_X86 and BUILD_X64 are the build directories of the windows-x86 and
# windows-x64 presets. Each run gets a fresh Wine prefix under a virtual X
# display of its own; every message box is closed by focusing it and
# pressing Return. Prints one line per check and at the end "N passed, M
# failed" (and ", K skipped" when some were); exits non-zero when a check
# failed. The 32-bit program runs with
# Wine's 32-bit loader, natively or under qemu-i386 where the kernel refuses
# 32-bit programs (cmake/wine32.sh); a 32-bit prefix can only be made
# natively, and its checks are skipped, with a line saying why, elsewhere.
#
# Needs wine, wine64, xvfb, xdotool, imagemagick and x11-utils (xwininfo, for
# whether a box has left the screen and the stacking order of the windows
# in the screenshots), the MinGW-w64
# objdump for the checks of the exes (tests/wine/exe-checks.sh), and where
# the kernel refuses 32-bit programs qemu-user (scripts/install-windows-deps.sh).
#
# The checks are in files of their own beside this one: exe-checks.sh (the
# exes and the screenshots), prefixes.sh (Wine prefixes and their registry),
# runs.sh (running the program as a user would), registry-checks.sh (what it
# wrote), deploy-checks.sh (its switches, as a deployment tool runs it),
# repair-checks.sh (/repair, and a build for another file server),
# kill-checks.sh (runs killed at random moments), holder-checks.sh (what
# another program can hold against a run) and log-checks.sh (the log's
# shape, and log paths it refuses);
# the check, pass, fail and skip lines and the choice of Wine loader are
# tests/lib.sh's.
set -u
here=$(dirname "$0")
# shellcheck source=../lib.sh
. "$here/../lib.sh"

if [ $# -ne 2 ]; then
  echo "usage: $0 BUILD_X86 BUILD_X64" >&2
  exit 2
fi
exe_x86=$(cd "$1" 2>/dev/null && pwd)/MarvaneSetup.exe
exe_x64=$(cd "$2" 2>/dev/null && pwd)/MarvaneSetup.exe
screenshot=$(cd "$2" 2>/dev/null && pwd)/wine-screenshot.png
screenshot_144=$(cd "$2" 2>/dev/null && pwd)/wine-screenshot-144dpi.png
windowing_tests_x64=$(cd "$2" 2>/dev/null && pwd)/tests/win32/marvane_windowing_tests.exe
holder_exe=$(cd "$2" 2>/dev/null && pwd)/tests/win32/marvane_holder.exe
other_x86=$(cd "$1" 2>/dev/null && pwd)/tests/MarvaneSetupOtherServer.exe
other_x64=$(cd "$2" 2>/dev/null && pwd)/tests/MarvaneSetupOtherServer.exe

work=$(mktemp -d "${TMPDIR:-/tmp}/marvane-wine.XXXXXX")
xvfb_pid=
prefixes=()

cleanup() {
  local prefix
  release_folder
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

wine64=$(wine64_loader)
# The 32-bit loader and the 64-bit one that goes with it (under emulation,
# both from a loader tree in $work): the 64-bit prefix is booted and used
# with that one, so that its 32-bit half is there for the 32-bit program.
wine32=
can_run_32bit=false
wine32_native=false
if wine32_loaders "$work" 2>"$work/wine32-reason"; then
  can_run_32bit=true
  wine32=$wine32_loader
  wine64=$wine32_boot_loader
  [ "$wine32" = /usr/lib/wine/wine ] && wine32_native=true
  if $wine32_native; then
    echo "32-bit programs run with Wine's own 32-bit loader"
  else
    echo "32-bit programs run with Wine's 32-bit loader under qemu-i386 ($wine32)"
  fi
fi
no_32bit_reason=$(tail -n1 "$work/wine32-reason" 2>/dev/null)

for tool in wine wineserver Xvfb xdotool xwininfo import identify; do
  if ! command -v $tool >/dev/null 2>&1; then
    fail "$tool is installed (scripts/install-windows-deps.sh)"
    summary
    exit 1
  fi
done

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 50); do [ -s "$work/display" ] && break; sleep 0.2; done
if [ ! -s "$work/display" ]; then
  fail "a virtual display starts"
  summary
  exit 1
fi
DISPLAY=:$(head -n1 "$work/display")
export DISPLAY

p64=$work/win64
p32=$work/win32

# shellcheck source=exe-checks.sh
. "$here/exe-checks.sh"
# shellcheck source=prefixes.sh
. "$here/prefixes.sh"
# shellcheck source=runs.sh
. "$here/runs.sh"
# shellcheck source=registry-checks.sh
. "$here/registry-checks.sh"
# shellcheck source=deploy-checks.sh
. "$here/deploy-checks.sh"
# shellcheck source=repair-checks.sh
. "$here/repair-checks.sh"
# shellcheck source=verify-checks.sh
. "$here/verify-checks.sh"
# shellcheck source=deploy-tools-checks.sh
. "$here/deploy-tools-checks.sh"
# shellcheck source=kill-checks.sh
. "$here/kill-checks.sh"
# shellcheck source=holder-checks.sh
. "$here/holder-checks.sh"

# ---------------------------------------------------------------------------
# The exes themselves: size, stripping and the oldest Windows.

for exe in "$exe_x86" "$exe_x64" "${exe_x86%.exe}.com" "${exe_x64%.exe}.com"; do
  check "program built: $exe" [ -f "$exe" ]
  [ -f "$exe" ] && check_exe "$exe" "$(basename "$(dirname "$exe")")/$(basename "$exe")"
done

# ---------------------------------------------------------------------------
# 64-bit prefix: both programs write the WOW6432node branch.

if [ -f "$exe_x64" ] && check "64-bit prefix boots" boot_prefix "$p64" win64 "$wine64"; then
  # What the prefix had before any run.
  export_key "$p64" "$wine64" "$NATIVE_BRANCH" "$work/native-before" /reg:64
  export_key "$p64" "$wine64" "$WOW_BRANCH" "$work/wow-before" /reg:64
  save_wow

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

  deploy_checks "x64, 64-bit prefix," "$wine64" "$exe_x64"
  entry_checks "x64, 64-bit prefix," "$wine64" "$exe_x64"
  repair_checks "x64, 64-bit prefix," "$wine64" "$exe_x64" "$other_x64"
  verify_checks "x64, 64-bit prefix," "$p64" "$wine64" "$exe_x64"
  deploy_tools_checks "x64, 64-bit prefix," "$wine64" "$exe_x64"
  kill_checks "x64, 64-bit prefix," "$wine64" "$exe_x64"
  holder_checks "x64, 64-bit prefix," "$wine64" "$exe_x64"

  # At 144 dpi (150 %): the program, with a screenshot to look at, and the
  # windowing tests, whose label font must then be TrueType.
  in_prefix "$p64" "$wine64" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
  restart_server "$p64" # the display's resolution is read at start
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
    if WINEPREFIX=$p64 timeout "$RUN_TIMEOUT" "$wine64" "$windowing_tests_x64" >"$work/windowing-144.log" 2>&1 </dev/null; then
      pass "windowing tests at 144 dpi ($(grep -c '^\[       OK \]' "$work/windowing-144.log") passed)"
    else
      fail "windowing tests at 144 dpi:"
      grep -E 'Failure|Expected|Which is|Value of|FAILED' "$work/windowing-144.log" | head -n 20 | sed 's/^/    /'
    fi
  else
    skip "windowing tests at 144 dpi: $windowing_tests_x64 not built"
  fi
  in_prefix "$p64" "$wine64" reg delete 'HKCU\Control Panel\Desktop' /v LogPixels /f >/dev/null 2>&1
  restart_server "$p64"

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
    entry_checks "x86, 64-bit prefix," "$wine32" "$exe_x86"
    repair_checks "x86, 64-bit prefix," "$wine32" "$exe_x86" "$other_x86"
    verify_checks "x86, 64-bit prefix," "$p64" "$wine32" "$exe_x86"
    deploy_tools_checks "x86, 64-bit prefix," "$wine32" "$exe_x86"
    kill_checks "x86, 64-bit prefix," "$wine32" "$exe_x86"
    holder_checks "x86, 64-bit prefix," "$wine32" "$exe_x86"
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

# shellcheck source=log-checks.sh
. "$here/log-checks.sh"
summary
