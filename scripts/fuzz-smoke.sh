#!/usr/bin/env bash
# Builds the registry file fuzz target with clang and libFuzzer and runs it
# for a short while from the seed corpus (seconds as the first argument).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"
corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
cp fuzz/corpus/* "$corpus"/
status=0
./build/fuzz/RegTextFuzz -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 "$corpus" \
  >"$corpus.log" 2>&1 || status=$?
grep -E '^(Done|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY)' "$corpus.log" || true
if [ "$status" != 0 ]; then
  tail -n 40 "$corpus.log"
  echo "fuzz smoke run: the reader failed (status $status)"
  exit 1
fi
rm -f "$corpus.log"
echo "fuzz smoke run: no crash in ${seconds}s"
