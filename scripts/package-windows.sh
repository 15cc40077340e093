#!/usr/bin/env bash
# Makes what is shipped to Windows from the windows-x86 build: the exe, its
# console twin, the detection script and MarvaneSetup.msi, which carries the
# two exes, built from exactly the files beside it.
#
#   scripts/package-windows.sh BUILD_DIR [OUT_DIR]
#
# BUILD_DIR is the windows-x86 build folder (MarvaneSetup.exe, MarvaneSetup.com
# and CMake's Version.wxi); OUT_DIR, BUILD_DIR unless given, gets
# MarvaneSetup.msi and the folder package/ with the shipped files and the
# scheduled task's definitions that go into the MSI. The windows-x86 build
# runs this for BUILD_DIR itself (target MarvaneSetupMsi).
#
# Signing: with MARVANE_SIGN_PFX naming a PFX (PKCS#12) file with the
# code-signing certificate and its key, and MARVANE_SIGN_PASSWORD its
# password, the exe and the .com are signed with Authenticode (SHA-256)
# before the MSI is built from them, then the MSI and the detection script
# are signed; MARVANE_SIGN_TIMESTAMP may name an RFC 3161 time-stamp server.
# Without MARVANE_SIGN_PFX nothing is signed, and the last line says so.
# Needs wixl and, for signing, osslsigncode 2.9 or later
# (scripts/install-windows-deps.sh installs both).
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 BUILD_DIR [OUT_DIR]" >&2
  exit 2
fi
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
out=${2:-$build}
mkdir -p "$out/package"
out=$(cd "$out" && pwd)
package=$out/package

for file in MarvaneSetup.exe MarvaneSetup.com Version.wxi; do
  if [ ! -f "$build/$file" ]; then
    echo "package-windows: $build/$file is missing (build the windows-x86 preset first)" >&2
    exit 1
  fi
done

signing=false
if [ -n "${MARVANE_SIGN_PFX:-}" ]; then
  signing=true
  if [ ! -r "$MARVANE_SIGN_PFX" ]; then
    echo "package-windows: cannot read MARVANE_SIGN_PFX ($MARVANE_SIGN_PFX)" >&2
    exit 1
  fi
  if [ -z "${MARVANE_SIGN_PASSWORD+set}" ]; then
    echo "package-windows: MARVANE_SIGN_PFX is set but MARVANE_SIGN_PASSWORD is not" >&2
    exit 1
  fi
fi

# sign FILE: Authenticode signature in place. The password reaches
# osslsigncode on its standard input, never on a command line.
sign() {
  local signed=$1.signed
  rm -f "$signed"
  printf '%s' "$MARVANE_SIGN_PASSWORD" |
    osslsigncode sign -pkcs12 "$MARVANE_SIGN_PFX" -readpass - -h sha256 -n "Marvane Setup" \
      ${MARVANE_SIGN_TIMESTAMP:+-ts "$MARVANE_SIGN_TIMESTAMP"} -in "$1" -out "$signed" >/dev/null
  mv -f "$signed" "$1"
  echo "package-windows: signed $1"
}

cp -f "$build/MarvaneSetup.exe" "$build/MarvaneSetup.com" "$package/"
cp -f "$source_dir/scripts/Detect-MarvaneSetup.ps1" "$package/"

# The task's definition for each Windows, naming the folder that
# ProgramFilesFolder is for a 32-bit package there, as UTF-16 with CRLF.
for variant in 'x86 %ProgramFiles%' 'x64 %ProgramFiles(x86)%'; do
  {
    printf '\xff\xfe'
    sed -e "s|@PROGRAM_FILES@|${variant#* }|" -e 's/$/\r/' "$source_dir/packaging/MarvaneSetupTask.xml" |
      iconv -f UTF-8 -t UTF-16LE
  } >"$package/MarvaneSetupTask-${variant%% *}.xml"
done

if $signing; then
  sign "$package/MarvaneSetup.exe"
  sign "$package/MarvaneSetup.com"
fi

# wixl takes the files from the folder it runs in.
(cd "$package" && wixl -a x86 -I "$build" -o "$out/MarvaneSetup.msi.tmp" "$source_dir/packaging/MarvaneSetup.wxs")
mv -f "$out/MarvaneSetup.msi.tmp" "$out/MarvaneSetup.msi"

if $signing; then
  sign "$out/MarvaneSetup.msi"
  sign "$package/Detect-MarvaneSetup.ps1"
  echo "package-windows: $out/MarvaneSetup.msi and $package signed with $MARVANE_SIGN_PFX"
else
  echo "package-windows: $out/MarvaneSetup.msi built UNSIGNED (set MARVANE_SIGN_PFX and MARVANE_SIGN_PASSWORD to sign)"
fi
