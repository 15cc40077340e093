# shellcheck shell=bash
# Shared by the end-to-end scripts: what the program will register on this
# machine this year. Sourced after tests/lib.sh.
# shellcheck disable=SC2034 # used by the scripts that source this

year=$(date +%Y)
expected=$((5 + 5 * (year - 2002))) # data sources
case "$(uname -m)" in
  i?86) branch='SOFTWARE\ODBC\ODBC.INI' ;;
  *) branch='SOFTWARE\WOW6432node\ODBC\ODBC.INI' ;;
esac
