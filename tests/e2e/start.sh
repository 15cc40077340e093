# shellcheck shell=bash
# Sourced first by every end-to-end script, with the script's arguments: the
# program under test ($exe, the first argument), a work folder removed at exit
# ($work), the checks of tests/lib.sh, and what the program will register on
# this machine this year.
# shellcheck disable=SC2034 # used by the scripts that source this
set -u
exe=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=../lib.sh
. "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"

year=$(date +%Y)
expected=$((5 + 5 * (year - 2002))) # data sources
case "$(uname -m)" in
  i?86) branch='SOFTWARE\ODBC\ODBC.INI' ;;
  *) branch='SOFTWARE\WOW6432node\ODBC\ODBC.INI' ;;
esac
