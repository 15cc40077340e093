#!/usr/bin/env bash
# Builds and runs every test: the native build with its unit and end-to-end
# tests, static analysis, the whole suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer, then both Windows builds with their unit
# tests and the program itself under Wine on a virtual display,
# MarvaneSetup.msi (built by the windows-x86 build) signed with a throw-away
# certificate and installed, repaired and removed under Wine, and the parse
# of the detection script.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

bash scripts/install-native-deps.sh
cmake --preset native
cmake --build --preset native -j "$jobs"
ctest --preset native -j "$jobs"

bash scripts/static-analysis.sh

cmake --preset asan
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs"

bash scripts/install-windows-deps.sh
for preset in windows-x86 windows-x64; do
  cmake --preset "$preset"
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset"
done
bash tests/wine/run-wine-tests.sh build/windows-x86 build/windows-x64
bash tests/msi/run-msi-tests.sh build/windows-x86
bash tests/detect-script/run.sh
