#!/usr/bin/env bash
# Kills first runs of the built MarvaneSetup with SIGKILL at random moments,
# and runs several at once against one registry file. After every kill the
# registry must load, keep every entry it had before, and the next run must
# leave exactly what a clean run leaves; concurrent runs must all succeed with the full result.
# shellcheck source=start.sh
. "$(dirname "$0")/start.sh"
kills=${2:-100}
quiet_passes=true # hundreds of checks: only the failures are said

seed() {  # seed FILE: a registry with entries of the machine's own
  mkdir -p "$(dirname "$1")"
  printf '%s\n' REGEDIT4 '' '[HKEY_LOCAL_MACHINE\SOFTWARE\Vendor]' '"Keep"="this"' '"N"=dword:00000007' '' >"$1"
}

# Each line of a registry file prefixed with the data source it belongs to
# (its key and subkeys, and its entry in the listing), or with nothing.
tagged() {
  awk '/^\[/ { ds = ""; listing = ($0 ~ /\\ODBC Data Sources\]$/)
               if (!listing && match($0, /\\ODBC\.INI\\[^\\\]]*/)) ds = substr($0, RSTART + 10, RLENGTH - 10) }
       { tag = ds; if (listing && /^"/) { tag = $0; sub(/^"/, "", tag); sub(/"=.*/, "", tag) }
         print tag "\t" $0 }' "$1"
}

# The data sources in which two registry files differ ("-" for lines of no data source).
differing() {
  diff <(tagged "$1") <(tagged "$2") | sed -n 's/^[<>] //p' | cut -f1 | sed 's/^$/-/' | sort -u
}

# The full result of a clean run, to compare with.
reference=$work/reference/.local/state/MarvaneSetup/HKLM.reg
seed "$reference"
HOME=$work/reference "$exe" </dev/null >/dev/null 2>&1
check "reference run" test -s "$reference"

# How long a first run takes here, to spread the kills over it.
start=$(date +%s%N)
HOME=$work/timing "$exe" </dev/null >/dev/null 2>&1
span=$((($(date +%s%N) - start) / 1000))
[ "$span" -gt 1000 ] || span=1000

killed=0
i=0
while [ "$killed" -lt "$kills" ] && [ "$i" -lt $((kills * 10)) ]; do
  i=$((i + 1))
  home=$work/kill$i
  reg=$home/.local/state/MarvaneSetup/HKLM.reg
  seed "$reg"
  HOME=$home "$exe" </dev/null >/dev/null 2>&1 &
  pid=$!
  # A random moment within the first run (a few milliseconds on this machine).
  sleep "$(printf '0.%06d' $(((RANDOM * 32768 + RANDOM) % span)))"
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  if [ $? = 137 ]; then
    killed=$((killed + 1))
  elif [ "$span" -gt 2000 ]; then
    span=$((span * 9 / 10))  # it had finished: aim earlier
  fi
  # What is on disk loads and still holds the machine's own entries.
  check "kill $i: own entries kept on disk" grep -qx '"Keep"="this"' "$reg"
  HOME=$home "$exe" </dev/null >/dev/null 2>"$work/err"
  status=$?
  check "kill $i: next run exits 0 (was $status: $(head -c 200 "$work/err"))" test "$status" = 0
  # A data source that the kill cut short is completed by the next run, so
  # the file ends exactly as a clean run leaves it.
  partial=$(differing "$reg" "$reference" | tr '\n' ' ')
  check "kill $i: the next run leaves exactly a clean run's registry (differs in: $partial)" cmp -s "$reg" "$reference"
  check "kill $i: no log left" test ! -e "$reg.log"
  rm -rf "$home"
done
echo "killed $killed of $i runs while they were running"
check "at least $kills runs killed while running" test "$killed" -ge "$kills"

for runs in 2 4; do
  home=$work/concurrent$runs
  reg=$home/.local/state/MarvaneSetup/HKLM.reg
  seed "$reg"
  pids=()
  for _ in $(seq 1 "$runs"); do
    HOME=$home "$exe" </dev/null >/dev/null 2>&1 &
    pids+=($!)
  done
  statuses=""
  for pid in "${pids[@]}"; do
    wait "$pid"
    statuses="$statuses$?"
  done
  check "$runs concurrent runs all exit 0 ($statuses)" test "$statuses" = "$(printf '0%.0s' $(seq 1 "$runs"))"
  check "$runs concurrent runs leave exactly the full result" cmp -s "$reg" "$reference"
done

summary
