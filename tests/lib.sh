# shellcheck shell=bash
# Shared by the test scripts (tests/e2e, tests/wine) and cmake/wine-run.sh:
# the checks that count and say each result, and the choice of Wine loader.
# Sourced, never run; needs bash.

marvane_lib_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# ---------------------------------------------------------------------------
# Checks.
#
#   pass WHAT            counts a success and says "PASS WHAT"
#   fail WHAT            counts a failure and says "FAIL WHAT"
#   skip WHAT            says "SKIP WHAT" (WHAT gives the reason); counted apart
#   check WHAT CMD...    pass when CMD succeeds, else fail
#   summary              says "N passed, M failed" (and how many were
#                        skipped, if any); succeeds when nothing failed
#
# With quiet_passes=true, successes are counted without a line (for scripts
# that check the same things hundreds of times).
passed=0
failed=0
skipped=0
quiet_passes=false
pass() {
  passed=$((passed + 1))
  $quiet_passes || echo "PASS $*"
}
fail() {
  failed=$((failed + 1))
  echo "FAIL $*"
}
skip() {
  skipped=$((skipped + 1))
  echo "SKIP $*"
}
check() {
  local what=$1
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}
summary() {
  local line="$passed passed, $failed failed"
  [ "$skipped" -eq 0 ] || line+=", $skipped skipped"
  echo "$line"
  [ "$failed" -eq 0 ]
}

# ---------------------------------------------------------------------------
# hang_folder DIR: DIR's root answers and nothing below it, as on a file
# server that stopped replying: a FUSE view of it (bindfs) over it, its root
# looked at (kept an hour; ls asks for a security label, so the kernel learns
# there are no extended attributes, which Wine asks for), its daemon stopped.
# Fails, changing nothing, where FUSE cannot mount. release_folder lets it
# answer again and unmounts it (nothing when none is held).
hang_folder() {
  local view=(bindfs --xattr-none -o attr_timeout=3600 "$1" "$1")
  command -v bindfs >/dev/null 2>&1 && [ -w /dev/fuse ] && "${view[@]}" 2>/dev/null || return 1
  hang_dir=$1
  ls -ld "$1" >/dev/null && hang_daemon=$(pgrep -f -x "${view[*]}") && kill -STOP "$hang_daemon" && return
  release_folder
  return 1
}
release_folder() {
  [ -n "${hang_dir:-}" ] || return 0
  [ -z "${hang_daemon:-}" ] || kill -CONT "$hang_daemon"
  fusermount -u "$hang_dir"
  hang_dir=
}

# ---------------------------------------------------------------------------
# Wine loaders.

# wine64_loader: prints Wine's 64-bit loader (it also runs 32-bit programs
# in a 64-bit prefix under WOW64 once the prefix has its 32-bit half).
wine64_loader() {
  if [ -x /usr/lib/wine/wine64 ]; then
    echo /usr/lib/wine/wine64
  elif command -v wine64 >/dev/null 2>&1; then
    command -v wine64
  else
    echo wine
  fi
}

# wine32_loaders DIR: sets wine32_loader, Wine's 32-bit loader, and
# wine32_boot_loader, the 64-bit loader that goes with it (a 64-bit prefix
# booted with it gets its 32-bit half from that 32-bit loader). Under
# qemu-i386 emulation both come from a loader tree made in DIR
# (cmake/wine32.sh). Fails with cmake/wine32.sh's status (77: 32-bit Wine
# cannot run here) and its reason on standard error.
# shellcheck disable=SC2034 # both are for the scripts that source this
wine32_loaders() {
  local loaders
  wine32_loader=
  wine32_boot_loader=
  loaders=$(sh "$marvane_lib_dir/../cmake/wine32.sh" "$1") || return
  wine32_loader=$(sed -n 1p <<<"$loaders")
  wine32_boot_loader=$(sed -n 2p <<<"$loaders")
}
