# shellcheck shell=bash
# Wine prefixes and their registry, sourced by run-wine-tests.sh: booting a
# prefix, running reg in it, and a key's values as comparable lines.
# Temporary files go to run-wine-tests.sh's scratch folder; the prefixes
# booted are listed in its prefixes array, for its clean-up.
: "${work:?run-wine-tests.sh sets the scratch folder}"

readonly BOOT_TIMEOUT=300   # wineboot of a fresh prefix
readonly COMMAND_TIMEOUT=60 # one reg command

# wine_path FILE: the Windows path of a Linux file, on Wine's drive Z:.
wine_path() { printf 'Z:%s' "${1//\//\\}"; }

# in_prefix PREFIX LOADER COMMAND...: a Wine command in a prefix, bounded.
in_prefix() {
  local prefix=$1 loader=$2
  shift 2
  WINEPREFIX=$prefix timeout "$COMMAND_TIMEOUT" "$loader" "$@" </dev/null
}

# boot_prefix PREFIX win64|win32 LOADER
boot_prefix() {
  local prefix=$1 arch=$2 loader=$3
  prefixes+=("$prefix")
  WINEPREFIX=$prefix WINEARCH=$arch timeout "$BOOT_TIMEOUT" "$loader" wineboot -i </dev/null >/dev/null 2>&1 ||
    return 1
  # A server that stays while the prefix is in use saves a start per command.
  WINEPREFIX=$prefix wineserver -p60 </dev/null >/dev/null 2>&1
  # No window manager on the display: Wine draws the captions itself.
  in_prefix "$prefix" "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
}

# restart_server PREFIX: ends the prefix's Wine server and starts a new one
# that stays (settings such as the display's resolution are read at start).
restart_server() {
  WINEPREFIX=$1 timeout 30 wineserver -k >/dev/null 2>&1
  WINEPREFIX=$1 wineserver -p60 </dev/null >/dev/null 2>&1
}

key_exists() { # key_exists PREFIX LOADER KEY [/reg:64]
  local prefix=$1 loader=$2 key=$3
  shift 3
  in_prefix "$prefix" "$loader" reg query "$key" "$@" >/dev/null 2>&1
}

# export_key PREFIX LOADER KEY OUT [/reg:64]: the key as lines
# "KEY|NAME|VALUE" (sorted; an absent key gives an empty file).
export_key() {
  local prefix=$1 loader=$2 key=$3 out=$4
  shift 4
  local raw=$work/export.reg try
  for try in 1 2 3; do
    rm -f "$raw"
    in_prefix "$prefix" "$loader" reg export "$key" "$(wine_path "$raw")" "$@" /y >/dev/null 2>&1
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
