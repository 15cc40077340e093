#!/usr/bin/env bash
# Builds MarvaneSetup for this machine and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-native-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native --target MarvaneSetup -j "$(nproc)"
exec ./build/native/MarvaneSetup
