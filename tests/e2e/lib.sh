# Shared by the end-to-end scripts: the check that counts and says each
# result, and what the program will register on this machine this year.
passed=0
failed=0
check() {  # check "what" command...
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
    echo "ok: $what"
  else
    failed=$((failed + 1))
    echo "FAILED: $what"
  fi
}

year=$(date +%Y)
expected=$((5 + 5 * (year - 2002)))  # data sources
case "$(uname -m)" in
  i?86) branch='SOFTWARE\ODBC\ODBC.INI' ;;
  *) branch='SOFTWARE\WOW6432node\ODBC\ODBC.INI' ;;
esac
