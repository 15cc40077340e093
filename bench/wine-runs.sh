#!/usr/bin/env bash
# bench/wine-runs.sh EXE ROUNDS: the x64 exe under Wine, in the prefix
# $WINEPREFIX with its server kept running (wineserver -p): medians over
# ROUNDS of `reg import` of the keys a first run writes, a first run
# (/quiet), a rerun with nothing to do (/quiet) and /check, each with
# standard output to /dev/null (a character device to Wine) and to a pipe.
set -u
exe=$1 rounds=$2
export WINEPREFIX=${WINEPREFIX:?set WINEPREFIX to a booted 64-bit prefix} WINEDEBUG=-all
wine=/usr/lib/wine/wine64
branch='HKLM\SOFTWARE\WOW6432node\ODBC\ODBC.INI'
ms() { local s e; s=$(date +%s%N); "$@"; e=$(date +%s%N); echo $(((e - s) / 1000000)); }
to_null() { "$@" >/dev/null 2>&1; }
to_pipe() { "$@" 2>&1 | cat >/dev/null; }
clear() { "$wine" reg delete "$branch" /f /reg:64 >/dev/null 2>&1; }
median() { tr ' ' '\n' | sed '/^$/d' | sort -n | awk '{ a[NR] = $1 } END { print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }

wineserver -p
clear
"$wine" "$exe" /quiet >/dev/null 2>&1
"$wine" reg export "$branch" 'C:\keys.reg' /reg:64 /y >/dev/null 2>&1
declare -A times
for ((round = 0; round < rounds; round++)); do
  for out in to_null to_pipe; do
    clear
    times[$out-import]+=" $(ms $out "$wine" reg import 'C:\keys.reg' /reg:64)"
    clear
    times[$out-first]+=" $(ms $out "$wine" "$exe" /quiet)"
    times[$out-rerun]+=" $(ms $out "$wine" "$exe" /quiet)"
    times[$out-check]+=" $(ms $out "$wine" "$exe" /check)"
  done
done
for what in import first rerun check; do
  for out in to_null to_pipe; do
    echo "$what $out: median $(median <<<"${times[$out-$what]}") ms of${times[$out-$what]}"
  done
done
