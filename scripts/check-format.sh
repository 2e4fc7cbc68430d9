#!/usr/bin/env bash
# Fails when a C++ file of the tree is not laid out as .clang-format says.
# Run with --fix to lay them out in place.
set -euo pipefail
cd "$(dirname "$0")/.."

format=clang-format
command -v clang-format-14 >/dev/null 2>&1 && format=clang-format-14
mapfile -t files < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' \
  'fuzz/*.cpp' 'fuzz/*.h' 'include/*.h')

if [ "${1:-}" = "--fix" ]; then
  "$format" -i --style=file "${files[@]}"
  exit 0
fi

bad=()
for f in "${files[@]}"; do
  "$format" --style=file --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
  echo "Not laid out as .clang-format says (scripts/check-format.sh --fix lays them out):"
  printf '  %s\n' "${bad[@]}"
  exit 1
fi
echo "All ${#files[@]} C++ files are laid out as .clang-format says."
