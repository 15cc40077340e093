#!/bin/sh
# Installs what the Windows cross build and its tests under Wine need, on
# Debian 12, as root, without questions: MinGW-w64, CMake, GoogleTest's
# sources, Wine (64- and 32-bit), a virtual X display, xdotool and
# ImageMagick, with what they recommend (the set the tests were run with).
# Does nothing when all of it is there already.
set -eu

packages="cmake make googletest mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  wine wine64 wine32:i386 fonts-wine xvfb xauth xdotool imagemagick"

missing=""
for package in $packages; do
  if ! dpkg -s "$package" 2>/dev/null | grep -q '^Status: install ok installed'; then
    missing="$missing $package"
  fi
done

if [ -z "$missing" ]; then
  echo "install-windows-deps: all present"
  exit 0
fi
echo "install-windows-deps: installing$missing"

if [ "$(id -u)" -ne 0 ]; then
  echo "install-windows-deps: run as root to install these" >&2
  exit 1
fi

# wine32 comes from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q $missing </dev/null
