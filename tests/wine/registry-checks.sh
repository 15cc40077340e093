# shellcheck shell=bash
# What the program should have written, and the checks of it, sourced by
# run-wine-tests.sh after prefixes.sh.
: "${work:?run-wine-tests.sh sets the scratch folder}"
: "${p64:?run-wine-tests.sh names the 64-bit prefix}"
: "${wine64:?run-wine-tests.sh chooses the 64-bit loader}"

readonly WOW_BRANCH='HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432node\ODBC\ODBC.INI'
readonly NATIVE_BRANCH='HKEY_LOCAL_MACHINE\SOFTWARE\ODBC\ODBC.INI'
readonly DOUBLED='HKEY_LOCAL_MACHINE\SOFTWARE\Wow6432Node\WOW6432node'

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
  local name value absent=
  for name in "${names[@]}"; do
    for value in DBQ Description; do
      grep -q "^$(printf '%s' "$branch\\$name" | sed 's/[\\.*^$[]/\\&/g')|$value|" "$actual" ||
        absent+=" $name:$value"
    done
  done
  if [ -z "$absent" ]; then
    pass "$label: every data source has DBQ and Description"
  else
    fail "$label: without DBQ/Description:${absent:0:200}"
  fi

  # Nothing but the expected data sources (and the list) below the branch.
  local extra
  extra=$(cut -d'|' -f1 "$actual" | sort -u | awk -v b="$branch\\" 'index($0, b) == 1 { print substr($0, length(b) + 1) }' |
    awk -F "\\\\" '{ print $1 }' | sort -u | grep -vxF -f <(printf '%s\n' "${names[@]}" "ODBC Data Sources"))
  if [ -z "$extra" ]; then
    pass "$label: no other keys under $branch"
  else
    fail "$label: other keys under $branch: $(printf '%s' "$extra" | tr '\n' ' ' | head -c 200)"
  fi
}

# ---------------------------------------------------------------------------
# The WOW6432node branch of the 64-bit prefix ($p64, used with $wine64).

# save_wow: the WOW6432node branch as it is before the first run, for
# restore_wow.
save_wow() {
  in_prefix "$p64" "$wine64" reg export "$WOW_BRANCH" "$(wine_path "$work/wow-before.reg")" \
    /reg:64 /y >/dev/null 2>&1
}

# restore_wow: the WOW6432node branch as before the first run.
restore_wow() {
  in_prefix "$p64" "$wine64" reg delete "$WOW_BRANCH" /f /reg:64 >/dev/null 2>&1
  if [ -s "$work/wow-before" ]; then
    in_prefix "$p64" "$wine64" reg import "$(wine_path "$work/wow-before.reg")" /reg:64 >/dev/null 2>&1
  fi
}

key_absent_64() { ! key_exists "$p64" "$wine64" "$1" /reg:64; }

# check_wow_run LABEL DRIVER: after one run in the 64-bit prefix, against
# what it had before any run ($work/native-before).
check_wow_run() {
  local label=$1 driver=$2
  export_key "$p64" "$wine64" "$WOW_BRANCH" "$work/wow" /reg:64
  check_branch "$label" "$work/wow" "$WOW_BRANCH" "$driver"
  export_key "$p64" "$wine64" "$NATIVE_BRANCH" "$work/native" /reg:64
  check "$label: nothing written under the 64-bit view's SOFTWARE\\ODBC\\ODBC.INI" \
    cmp -s "$work/native-before" "$work/native"
  check "$label: no doubled Wow6432Node\\WOW6432node key" key_absent_64 "$DOUBLED"
}
