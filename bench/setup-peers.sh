#!/usr/bin/env bash
# Installs the peers the import benchmark compares with: SheetJS (the npm
# package "xlsx") into ~/.cache/ordix-bench, and Debian's openpyxl.
set -euo pipefail
dir=${ORDIX_BENCH_CACHE:-$HOME/.cache/ordix-bench}
mkdir -p "$dir"
command -v npm >/dev/null || apt-get install -y --no-install-recommends npm
npm install --prefix "$dir" --no-audit --no-fund xlsx >/dev/null
dpkg -s python3-openpyxl >/dev/null 2>&1 || apt-get install -y --no-install-recommends python3-openpyxl
echo "SheetJS: $dir/node_modules/xlsx"
