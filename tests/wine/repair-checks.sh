# shellcheck shell=bash disable=SC2154 # plain_status, names: deploy-checks.sh's and registry-checks.sh's
# /repair as a deployment tool (or msiexec's repair) runs it, in the 64-bit
# prefix without a display: a DBQ changed by hand, a value deleted and a key
# cut short are put back exactly, and the log names the old value; a repair
# with nothing to do changes nothing; the exe built for another file server
# (NEWSRV02, tests/CMakeLists.txt) points every data source there. Sourced by
# run-wine-tests.sh after deploy-checks.sh (run_plain), whose prefix and
# loaders it uses.
: "${work:?run-wine-tests.sh sets the scratch folder}"
: "${p64:?run-wine-tests.sh names the 64-bit prefix}"
: "${wine64:?run-wine-tests.sh chooses the 64-bit loader}"

# sorted_export FILE: a key's export, its lines sorted (a value written again
# comes last in its key, and the order of a key's values means nothing).
sorted_export() { export_key "$p64" "$wine64" "$WOW_BRANCH" "$work/repair-raw" /reg:64 && LC_ALL=C sort "$work/repair-raw" >"$1"; }
# dbq_count FILE SERVER: how many data sources' DBQ names SERVER's share.
dbq_count() { grep -c "|DBQ|[\\][\\]$2[\\]VLK-Data[\\]" "$1"; }

# repair_checks LABEL LOADER EXE OTHER_EXE
repair_checks() {
  local label=$1 loader=$2 exe=$3 other=$4 log=$p64/drive_c/repair.log
  local old='\\OLDSRV\VLK-Data\MV-2002\Marvane-R.mdb'
  restore_wow
  rm -f "$log"
  run_plain "$loader" "$exe" /quiet
  check "$label repair: the install exits 0 (was $plain_status)" [ "$plain_status" = 0 ]
  sorted_export "$work/repair-installed"
  in_prefix "$p64" "$wine64" reg add "$WOW_BRANCH\\MV2002-R" /v DBQ /d "$old" /f /reg:64 >/dev/null 2>&1
  in_prefix "$p64" "$wine64" reg delete "$WOW_BRANCH\\Marvane-S1" /v Description /f /reg:64 >/dev/null 2>&1
  in_prefix "$p64" "$wine64" reg delete "$WOW_BRANCH\\Marvane-R1\\Engines\\Jet" /f /reg:64 >/dev/null 2>&1
  sorted_export "$work/repair-changed"
  check "$label repair: (a DBQ changed, a value deleted, a key cut short)" \
    [ "$(diff "$work/repair-installed" "$work/repair-changed" | grep -c '^[<>]')" = 9 ]
  run_plain "$loader" "$exe" /repair /quiet /log 'C:\repair.log'
  check "$label /repair: exit 0 (was $plain_status)" [ "$plain_status" = 0 ]
  sorted_export "$work/repair-after"
  check "$label /repair: the branch is exactly what the install wrote" same_export "$work/repair-installed" "$work/repair-after"
  check "$label /repair: the log names the old DBQ and the new one" \
    grep -qF "MV2002-R: DBQ was \"$old\", now \"\\\\VLKDATA01\\VLK-Data\\MV-2002\\Marvane-R.mdb\"" "$log"
  check "$label /repair: the log says the deleted value and the key cut short came back" \
    [ "$(grep -cE 'Marvane-S1: Description was not there|Marvane-R1: key Marvane-R1\\Engines\\Jet was not there' "$log")" = 2 ]
  check "$label /repair: no line says error or warning" [ "$(grep -ci 'error\|warning' "$log")" = 0 ]
  rm -f "$log"
  run_plain "$loader" "$exe" /repair /quiet /log 'C:\repair.log'
  sorted_export "$work/repair-again"
  check "$label a /repair with nothing to do: exit 0 (was $plain_status), nothing changed, every data source exact" \
    same_export <(echo status 0 && cat "$work/repair-after" && echo "${#names[@]}") \
    <(echo "status $plain_status" && cat "$work/repair-again" && grep -c ': exact, left as it is' "$log")
  if [ -f "$other" ]; then
    run_plain "$loader" "$other" /repair /quiet
    sorted_export "$work/repair-moved"
    check "$label the build for NEWSRV02: /repair exits 0 (was $plain_status), all ${#names[@]} DBQs name it" \
      [ "$plain_status-$(dbq_count "$work/repair-moved" NEWSRV02)" = "0-${#names[@]}" ]
    run_plain "$loader" "$exe" /repair /quiet
    sorted_export "$work/repair-back"
    check "$label /repair of the first build puts them back" same_export "$work/repair-installed" "$work/repair-back"
  else
    skip "$label the build for another file server: $other not built (tests of the Windows build)"
  fi
}
