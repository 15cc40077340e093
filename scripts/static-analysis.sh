#!/usr/bin/env bash
# clang-tidy (the checks in .clang-tidy) and cppcheck over the program's
# sources; fails on any finding. The Windows backend is checked by cppcheck
# only: clang-tidy would need the MinGW headers as a target.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/tidy -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DBUILD_TESTING=OFF >/dev/null
sources=$(ls src/setup/*.cpp src/odbc/*.cpp src/registry/*.cpp src/platform/portable/*.cpp)
echo "clang-tidy: $(echo "$sources" | wc -w) files"
echo "$sources" | xargs -P "$(nproc)" -n 4 clang-tidy -p build/tidy --quiet 2>/dev/null
echo "cppcheck: src/"
cppcheck --enable=warning,performance,portability --language=c++ --std=c++20 --inline-suppr --quiet \
  --error-exitcode=1 -I src src
echo "static analysis: clean"
