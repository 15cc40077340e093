#!/usr/bin/env bash
# Times the portable MarvaneSetup: a first run into an empty registry and a
# rerun over the full one, each in a fresh home, and prints the medians.
# Usage: scripts/bench-run.sh [path/to/MarvaneSetup] [runs]
set -euo pipefail
exe=$(realpath "${1:-build/native/MarvaneSetup}")
runs=${2:-21}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

elapsed_us() {  # elapsed_us HOME: one run, its wall time in microseconds
  local start end
  start=$(date +%s%N)
  HOME=$1 "$exe" </dev/null >/dev/null
  end=$(date +%s%N)
  echo $(((end - start) / 1000))
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

: >"$work/first"
: >"$work/rerun"
for i in $(seq 1 "$runs"); do
  home=$work/home$i
  mkdir -p "$home"
  elapsed_us "$home" >>"$work/first"
  elapsed_us "$home" >>"$work/rerun"
  rm -rf "$home"
done
printf 'first run: median %s us over %s runs\n' "$(median <"$work/first")" "$runs"
printf 'rerun:     median %s us over %s runs\n' "$(median <"$work/rerun")" "$runs"
