#!/usr/bin/env bash
# tests/detect-script/run.sh [DIR]: check.mjs over scripts/Detect-MarvaneSetup.ps1, with tree-sitter and its
# PowerShell grammar from the npm registry as package-lock.json pins them, installed into DIR (build/detect-script).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd) && dir=${1:-$here/../../build/detect-script}
mkdir -p "$dir" && cp "$here/package.json" "$here/package-lock.json" "$here/check.mjs" "$dir/"
cmp -s "$here/package-lock.json" "$dir/installed-lock.json" ||
  { (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error) && cp "$here/package-lock.json" "$dir/installed-lock.json"; }
node --no-deprecation "$dir/check.mjs" "$here/../../scripts/Detect-MarvaneSetup.ps1"
