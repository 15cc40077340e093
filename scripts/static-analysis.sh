#!/usr/bin/env bash
# Static analysis; fails on any finding:
#  - clang-tidy (the checks in .clang-tidy) and cppcheck over the program's
#    sources. The Windows backend is checked by cppcheck only: clang-tidy
#    would need the MinGW headers as a target.
#  - clang-format (.clang-format): every C++ file of src/, tests/, bench/ and
#    fuzz/ is formatted.
#  - shellcheck (.shellcheckrc): every shell script in the repository, found
#    by its .sh name or a shell's #! line.
# Every check runs; the script fails at the end when any of them found
# something.
set -euo pipefail
cd "$(dirname "$0")/.."
status=0

cmake -S . -B build/tidy -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DBUILD_TESTING=OFF >/dev/null
sources=$(ls src/setup/*.cpp src/odbc/*.cpp src/registry/*.cpp src/platform/portable/*.cpp)
echo "clang-tidy: $(echo "$sources" | wc -w) files"
echo "$sources" | xargs -P "$(nproc)" -n 4 clang-tidy -p build/tidy --quiet 2>/dev/null || status=1

echo "cppcheck: src/"
cppcheck --enable=warning,performance,portability --language=c++ --std=c++20 --inline-suppr --quiet \
  --error-exitcode=1 -I src src || status=1

# The files git knows that are still there (null-separated lists).
tracked() { git ls-files -z -- "$@" | while IFS= read -r -d '' file; do [ -f "$file" ] && printf '%s\0' "$file"; done; }

mapfile -d '' cxx < <(tracked 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' \
  'fuzz/*.cpp' 'fuzz/*.h')
echo "clang-format: ${#cxx[@]} files"
unformatted=()
for file in "${cxx[@]}"; do
  clang-format --dry-run -Werror "$file" 2>/dev/null || unformatted+=("$file")
done
if [ ${#unformatted[@]} -gt 0 ]; then
  status=1
  echo "clang-format: ${#unformatted[@]} files are not formatted (see clang-format --dry-run FILE):"
  printf '  %s\n' "${unformatted[@]}"
fi

# Shell scripts: by name, and by a #! line that names a shell.
shell_scripts=()
while IFS= read -r -d '' file; do
  case $file in
    *.sh) shell_scripts+=("$file") ;;
    *) head -n 1 "$file" | grep -qE '^#!\s*/(usr/)?bin/(env\s+)?(ba|da|k)?sh(\s|$)' && shell_scripts+=("$file") ;;
  esac
done < <(tracked)
echo "shellcheck: ${#shell_scripts[@]} files"
shellcheck "${shell_scripts[@]}" || status=1

if [ $status -eq 0 ]; then
  echo "static analysis: clean"
else
  echo "static analysis: findings above"
fi
exit $status
