#!/bin/sh
# Installs what the Windows cross build and its tests under Wine need, on
# Debian 12, as root, without questions: MinGW-w64, CMake, GoogleTest's
# sources, Wine (64- and 32-bit), a virtual X display, xdotool and
# ImageMagick, wixl and msitools (the MSI and its tables), openssl (the
# signing test's throw-away certificates) and npm where there is none (the
# detection script's parse test), with what they recommend (the set the
# tests were run with); and osslsigncode 2.9 or later (Authenticode), from
# bookworm-backports where it is older: bookworm's own 2.5 signs no
# PowerShell script and reads no password from its standard input.
#
# Where the kernel refuses 32-bit programs, Wine's 32-bit loader cannot start
# by itself; it then runs under qemu-i386 user-mode emulation (see
# cmake/wine32.sh), and this script also installs qemu-user from
# bookworm-backports (bookworm's own 7.2 is too old for Wine). Where 32-bit
# programs run, it does not. Those two packages, and nothing else, ever come
# from bookworm-backports (pinned).
# MARVANE_WINE32=emulated sets up the emulation anyway, to try it on such a
# machine.
#
# Does nothing when all of it is there already.
set -eu

packages="cmake make googletest mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  wine wine64 wine32:i386 fonts-wine xvfb xauth xdotool x11-utils imagemagick faketime
  wixl msitools openssl"

# The oldest qemu-user tried with Wine's 32-bit loader and the oldest
# osslsigncode that signs scripts, and where they come from.
qemu_min_version=1:10
osslsigncode_min_version=2.9
backports=bookworm-backports
backports_list=/etc/apt/sources.list.d/marvane-backports.sources
backports_pin=/etc/apt/preferences.d/marvane-backports

installed() {
  dpkg -s "$1" 2>/dev/null | grep -q '^Status: install ok installed'
}

# at_least PACKAGE VERSION: installed, in VERSION or later.
at_least() {
  installed "$1" && dpkg --compare-versions "$(dpkg-query -W -f '${Version}' "$1")" ge "$2"
}

need_root() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-windows-deps: run as root to install $1" >&2
    exit 1
  fi
}

export DEBIAN_FRONTEND=noninteractive

missing=""
for package in $packages; do
  installed "$package" || missing="$missing $package"
done
# Node.js may come with its own npm (as NodeSource's does).
command -v npm >/dev/null 2>&1 || missing="$missing npm"

if [ -z "$missing" ]; then
  echo "install-windows-deps: all packages present"
else
  echo "install-windows-deps: installing$missing"
  need_root "these"
  # wine32 comes from the i386 architecture.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -q
  # shellcheck disable=SC2086
  apt-get install -y -q $missing </dev/null
fi

# ---------------------------------------------------------------------------
# From bookworm-backports: osslsigncode where bookworm's is too old, and the
# 32-bit Wine loader's emulation where the kernel refuses it.

from_backports=""
if at_least osslsigncode "$osslsigncode_min_version"; then
  echo "install-windows-deps: osslsigncode $(dpkg-query -W -f '${Version}' osslsigncode) present"
else
  echo "install-windows-deps: osslsigncode $osslsigncode_min_version or later comes from $backports"
  from_backports="osslsigncode/$backports"
fi

if [ "${MARVANE_WINE32:-auto}" != emulated ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "install-windows-deps: 32-bit programs run here; no emulation needed"
elif at_least qemu-user "$qemu_min_version"; then
  echo "install-windows-deps: qemu-user $(dpkg-query -W -f '${Version}' qemu-user) present for the 32-bit Wine loader"
else
  echo "install-windows-deps: the 32-bit Wine loader needs qemu-i386; qemu-user comes from $backports"
  from_backports="$from_backports qemu-user/$backports"
fi

[ -n "$from_backports" ] || exit 0
need_root "$from_backports"

# The suite from the mirror this machine already takes bookworm from.
# shellcheck disable=SC2016 # $(REPO_URI) is apt's, not the shell's
mirror=$(apt-get indextargets --no-release-info --format '$(REPO_URI)' \
  'Release: bookworm' 'Component: main' 'Target-Of: deb' | head -n1)
if [ -z "$mirror" ]; then
  echo "install-windows-deps: no apt source for bookworm main to add $backports beside" >&2
  exit 1
fi

# write_if_changed FILE: standard input to FILE, only when it differs.
write_if_changed() {
  tmp=$1.tmp
  cat >"$tmp"
  if cmp -s "$tmp" "$1"; then rm -f "$tmp"; else mv "$tmp" "$1"; fi
}

write_if_changed "$backports_list" <<EOF
# For qemu-user and osslsigncode only (see $backports_pin); scripts/install-windows-deps.sh.
Types: deb
URIs: $mirror
Suites: $backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF

write_if_changed "$backports_pin" <<EOF
# qemu-user and osslsigncode, and nothing else, from $backports (scripts/install-windows-deps.sh).
Package: qemu-user osslsigncode
Pin: release n=$backports
Pin-Priority: 500

Package: *
Pin: release n=$backports
Pin-Priority: -1
EOF

apt-get update -q
# Without recommends: qemu's would register it with binfmt_misc, which the
# tests neither need nor want.
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $from_backports </dev/null
