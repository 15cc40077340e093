#!/usr/bin/env bash
# tests/msi/run-msi-tests.sh BUILD_X86: MarvaneSetup.msi's tables, its signing, and under Wine (the x86 exe
# in a 64-bit prefix) msiexec's install, install again, repair and uninstall, then the signed package's.
set -u
here=$(dirname "$0")
# shellcheck source=../lib.sh
. "$here/../lib.sh"
build=$(cd "${1:?usage: $0 BUILD_X86}" && pwd) msi=$build/MarvaneSetup.msi prefixes=()
work=$(mktemp -d "${TMPDIR:-/tmp}/marvane-msi.XXXXXX") && ca=$work
cleanup() { for prefix in "${prefixes[@]}"; do WINEPREFIX=$prefix timeout 30 wineserver -k >/dev/null 2>&1; done; rm -rf "$work"; }
trap cleanup EXIT
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# shellcheck source=../wine/prefixes.sh
. "$here/../wine/prefixes.sh"
lines() { [ "$(grep -ciE "$2" "$3")" = "$1" ]; } # lines N PATTERN FILE
check "MarvaneSetup.msi built: $msi" [ -f "$msi" ] || { summary; exit 1; }
check "msiinfo: the tables the README names" lines 8 '^(Property|Upgrade|Directory|Component|File|Feature|CustomAction|InstallExecuteSequence)$' <(msiinfo tables "$msi")
# Each run of the exe and of schtasks: deferred (0x400), as SYSTEM (0x800), its status checked (no 0x40).
check "msiinfo: the exe's and schtasks' runs deferred, as SYSTEM, their status checked" \
  lines 5 '^Marvane(Install|Repair|Remove|TaskX86|TaskX64)	(3090|3122)	' <(msiinfo export "$msi" CustomAction)
# Signed with a throw-away CA's code-signing certificate, each file verifies, and not with one byte changed.
verified() { osslsigncode verify -CAfile "$ca/ca.crt" -in "$1" >/dev/null 2>&1; }
changed() { cp "$1" "$ca/x" && printf '#' | dd of="$ca/x" bs=1 conv=notrunc seek="$(grep -boaF "$2" "$1" | head -n1 | cut -d: -f1)" 2>/dev/null && ! verified "$ca/x"; }
check "the build's own MarvaneSetup.msi is unsigned" grep -q 'has no signature' <(osslsigncode verify -in "$msi" 2>&1)
{
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=CA -addext basicConstraints=critical,CA:TRUE -keyout "$ca/ca.key" -out "$ca/ca.crt"
  openssl req -newkey rsa:2048 -nodes -subj /CN=signer -keyout "$ca/cs.key" -out "$ca/cs.csr"
  openssl x509 -req -days 2 -in "$ca/cs.csr" -CA "$ca/ca.crt" -CAkey "$ca/ca.key" -out "$ca/cs.crt" -extfile <(echo extendedKeyUsage=codeSigning)
  openssl pkcs12 -export -inkey "$ca/cs.key" -in "$ca/cs.crt" -out "$ca/cs.pfx" -passout pass:x
  MARVANE_SIGN_PFX=$ca/cs.pfx MARVANE_SIGN_PASSWORD=x bash "$here/../../scripts/package-windows.sh" "$build" "$ca/signed"
} >"$ca/signing.log" 2>&1
check "package-windows.sh signs with it" grep -q 'signed with' "$ca/signing.log"
for item in package/MarvaneSetup.exe:'Setup Complete' package/MarvaneSetup.com:'Setup Complete' \
  MarvaneSetup.msi:MarvaneSetupTask-x64.xml package/Detect-MarvaneSetup.ps1:Write-Output; do
  check "osslsigncode verify accepts ${item%%:*}, signed, against the throw-away CA" verified "$ca/signed/${item%%:*}"
  check "... and refuses it with one byte of \"${item#*:}\" changed" changed "$ca/signed/${item%%:*}" "${item#*:}"
done
if ! wine32_loaders "$work" 2>"$work/reason"; then skip "MarvaneSetup.msi under Wine: $(tail -n1 "$work/reason")" && summary && exit; fi
p=$work/win64 wine64=$wine32_boot_loader
check "64-bit prefix boots" boot_prefix "$p" win64 "$wine64" || { summary; exit 1; }
# Right after wineboot Wine 8's service manager starts nothing for minutes (1055, its database
# locked) and schtasks fails (SCHED_E_SERVICE_NOT_RUNNING); with the server started anew it works.
restart_server "$p"
folder="$p/drive_c/Program Files (x86)/Marvane" task="$p/drive_c/windows/system32/tasks/Marvane Setup"
wow='HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432node\ODBC\ODBC.INI' ours='(Marvane|MV[0-9]{4})-(R|R1|S|S1|S2)'
count=$((5 + 5 * ($(date +%Y) - 2002)))
# msiexec ARGS...: quiet, logged, the branch exported after it (Wine passes on 8 bits of its status).
msiexec() {
  WINEPREFIX=$p timeout 300 "$wine64" msiexec "$@" /qn /l*v 'C:\msi.log' </dev/null >/dev/null 2>&1
  msi_status=$?
  tr -d '\0\r' <"$p/drive_c/msi.log" >"$work/msi.log"
  export_key "$p" "$wine64" "$wow" "$work/wow" /reg:64
}
ran_x64() { grep -q ': MarvaneTaskX64\.$' "$work/msi.log" && ! grep -q ': MarvaneTaskX86\.$' "$work/msi.log"; }
# expands_to_exe COMMAND: COMMAND, expanded by a 64-bit cmd, names the installed exe.
expands_to_exe() { [ -n "$1" ] && [ "$p/drive_c$(in_prefix "$p" "$wine64" cmd /c "echo ${1//\"/}" | tr -d '\r' | sed 's|^[Cc]:||; s|\\|/|g')" -ef "$folder/MarvaneSetup.exe" ]; }
# state: msiexec's status, HKLM\SOFTWARE but Windows Installer's own records, the files, the task.
state() { echo "status $msi_status" && export_key "$p" "$wine64" 'HKEY_LOCAL_MACHINE\SOFTWARE' "$work/s" /reg:64 && grep -vF "\\Installer\\" "$work/s" && md5sum "$folder"/* "$task"; }
installed_checks() { # LABEL
  check "$1: the $count data sources there (key with Driver, entry)" lines $((2 * count)) "\\\\$ours\\|Driver\\||Sources\\|$ours\\|" "$work/wow"
  check "$1: status 0 (was $msi_status), the exe and the .com in Program Files (x86)\\Marvane" test "$msi_status" = 0 -a -f "$folder/MarvaneSetup.exe" -a -f "$folder/MarvaneSetup.com"
  check "$1: the task's definition for 64-bit Windows registered" ran_x64
  tr -d '\0\r' <"$task" >"$work/task"
  check "$1: task \"Marvane Setup\" not stopped or skipped on battery, limited to minutes" lines 3 '<(DisallowStartIfOnBatteries|StopIfGoingOnBatteries)>false<|<ExecutionTimeLimit>PT[0-9]+M<' "$work/task"
  if ! grep -q '<BootTrigger>' "$work/task"; then
    skip "$1: the registered task's trigger, account and command: Wine stores none (<Triggers/>, <Exec/>); checked in the definition given to schtasks"
    tr -d '\0\r' <"$folder/MarvaneSetupTask-x64.xml" >"$work/task"
  fi
  check "$1: the task starts at boot as SYSTEM" lines 2 '<BootTrigger>|<UserId>S-1-5-18<' "$work/task"
  check "$1: its command, expanded in the 64-bit prefix, is the installed exe" expands_to_exe "$(sed -n 's|.*<Command>\(.*\)</Command>.*|\1|p' "$work/task")"
}
removed_checks() { # LABEL
  check "$1: no data source of ours and no entry of one left" lines 0 "\\\\$ours\\||Sources\\|$ours\\|" "$work/wow"
  check "$1: status 0 (was $msi_status), no file and no task left" test "$msi_status" = 0 -a ! -e "$folder" -a ! -e "$task"
}

msiexec /i "$(wine_path "$msi")"
installed_checks "msiexec /i"
state >"$work/state-1" 2>&1
msiexec /i "$(wine_path "$msi")"
state >"$work/state-2" 2>&1
check "msiexec /i again: status 0 (was $msi_status), nothing changed but Windows Installer's records" same_export "$work/state-1" "$work/state-2"
export_key "$p" "$wine64" "$wow\\MV2019-R" "$work/before" /reg:64
in_prefix "$p" "$wine64" reg add "$wow\\MV2019-R" /v DBQ /d 'C:\moved.mdb' /f /reg:64 >/dev/null 2>&1
msiexec /fomus "$(wine_path "$msi")"
# Wine hands /f's package path to MsiReinstallProduct, which wants a product code (1605, 69).
[ "$msi_status" != 69 ] || msiexec /i "$(wine_path "$msi")" REINSTALL=ALL REINSTALLMODE=omus
export_key "$p" "$wine64" "$wow\\MV2019-R" "$work/after" /reg:64
check "msiexec repair: status 0 (was $msi_status), MV2019-R's DBQ changed by hand restored" \
  same_export <(echo status 0 && cat "$work/before") <(echo "status $msi_status" && cat "$work/after")
msiexec /x "$(wine_path "$msi")"
removed_checks "msiexec /x"
msiexec /i "$(wine_path "$ca/signed/MarvaneSetup.msi")"
installed_checks "signed, msiexec /i"
check "signed, msiexec /i: the installed exe verifies" verified "$folder/MarvaneSetup.exe"
msiexec /x "$(wine_path "$ca/signed/MarvaneSetup.msi")"
removed_checks "signed, msiexec /x"
summary
