#!/bin/sh
# The Wine loaders that run 32-bit Windows programs on this machine:
#   wine32.sh DIR
# prints two lines: the 32-bit loader, and the 64-bit loader that goes with
# it (the one to boot a 64-bit prefix with, so that its 32-bit half, the
# syswow64 folder, is made by that 32-bit loader).
#
# Where the kernel runs 32-bit programs, these are Wine's own loaders. Where
# it refuses them, Wine's 32-bit loader runs under qemu-i386 user-mode
# emulation, through a loader tree of its own in DIR/wine32-qemu, made on
# first use: Wine's 64-bit loader starts the 32-bit one from its own folder
# and finds its libraries relative to it, so the tree holds a real copy of
# the 64-bit loader, beside it a "wine" script that starts a copy of the
# 32-bit loader under qemu-i386, and links to Wine's server, libraries and
# data at the same relative places as under /usr.
#
# Exits 77 with the reason on standard error when neither way works.
# MARVANE_WINE32=native or MARVANE_WINE32=emulated takes that way only.
set -eu

wine_bin=/usr/lib/wine
qemu_min_major=10 # the oldest qemu-i386 tried; bookworm's own 7.2 is too slow for Wine

if [ $# -ne 1 ]; then
  echo "usage: $0 DIR" >&2
  exit 2
fi
mode=${MARVANE_WINE32:-auto}

skip() {
  echo "32-bit Wine cannot run here: $*" >&2
  exit 77
}

if [ "$mode" != emulated ]; then
  if reason=$("$wine_bin/wine" --version 2>&1 >/dev/null); then
    printf '%s\n%s\n' "$wine_bin/wine" "$wine_bin/wine64"
    exit 0
  fi
  [ "$mode" = native ] && skip "$wine_bin/wine does not start (${reason:-no message})"
  native_reason="$wine_bin/wine does not start (${reason:-no message})"
else
  native_reason="native loader not tried (MARVANE_WINE32=emulated)"
fi

# ---------------------------------------------------------------------------
# Under emulation.

for file in "$wine_bin/wine" "$wine_bin/wine64" /lib/ld-linux.so.2 /usr/lib/i386-linux-gnu/wine /usr/lib/x86_64-linux-gnu/wine; do
  [ -e "$file" ] || skip "$native_reason, and $file is missing (scripts/install-windows-deps.sh)"
done
qemu=$(command -v qemu-i386 || true)
[ -n "$qemu" ] || skip "$native_reason, and qemu-i386 is missing (scripts/install-windows-deps.sh)"
major=$("$qemu" --version | sed -n 's/^qemu-i386 version \([0-9]*\)\..*/\1/p')
[ "${major:-0}" -ge $qemu_min_major ] ||
  skip "$native_reason, and qemu-i386 ${major:-?} is older than $qemu_min_major (scripts/install-windows-deps.sh)"

mkdir -p "$1"
tree=$(cd "$1" && pwd)/wine32-qemu

current() { # the tree is there, made from the Wine installed now
  cmp -s "$tree/lib/wine/wine64" "$wine_bin/wine64" && cmp -s "$tree/lib/wine/wine-i386" "$wine_bin/wine" &&
    grep -qF "$qemu" "$tree/lib/wine/wine"
}

# One maker at a time: CTest may start several programs at once.
(
  flock 9
  if ! current; then
    rm -rf "$tree"
    mkdir -p "$tree/lib/wine" "$tree/lib/x86_64-linux-gnu" "$tree/lib/i386-linux-gnu" "$tree/share"
    cp "$wine_bin/wine64" "$tree/lib/wine/wine64"
    cp "$wine_bin/wine" "$tree/lib/wine/wine-i386"
    ln -s "$wine_bin/wineserver" "$tree/lib/wine/wineserver"
    ln -s /usr/lib/x86_64-linux-gnu/wine "$tree/lib/x86_64-linux-gnu/wine"
    ln -s /usr/lib/i386-linux-gnu/wine "$tree/lib/i386-linux-gnu/wine"
    ln -s /usr/share/wine "$tree/share/wine"
    # The loader must not re-execute itself to reserve its memory: under
    # qemu that would start it natively.
    cat >"$tree/lib/wine/wine.new" <<EOF
#!/bin/sh
# Wine's 32-bit loader under qemu-i386 user-mode emulation (cmake/wine32.sh).
WINELOADERNOEXEC=1
export WINELOADERNOEXEC
exec "$qemu" -0 wine "$tree/lib/wine/wine-i386" "\$@"
EOF
    chmod +x "$tree/lib/wine/wine.new"
    mv "$tree/lib/wine/wine.new" "$tree/lib/wine/wine"
  fi
) 9>"$tree.lock"

# (Wine's loader itself, given --version under qemu, would boot a prefix.)
if ! reason=$("$qemu" /lib/ld-linux.so.2 --version 2>&1 >/dev/null); then
  skip "$native_reason, and qemu-i386 cannot start i386 programs either (${reason:-no message})"
fi
printf '%s\n%s\n' "$tree/lib/wine/wine" "$tree/lib/wine/wine64"
