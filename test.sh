#!/usr/bin/env bash
# Builds Ordix and runs every test: the normal build (the window tests both
# offscreen and on Xvfb with openbox, and the scenario driven by real X
# input), the same tests under AddressSanitizer and UndefinedBehaviorSanitizer
# (offscreen), and a short fuzz run.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

jobs=$(nproc)
# A compiler cache, when the machine has one, makes rebuilds cheap.
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
status=0
total_passed=0
total_failed=0

run_suite() {
  local dir=$1; shift
  local log
  log=$(mktemp)
  set +e
  (cd "$dir" && ctest --output-on-failure --timeout 600 "$@") | tee "$log"
  local rc=${PIPESTATUS[0]}
  set -e
  local line passed total
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1 || true)
  if [ -n "$line" ]; then
    total=$(echo "$line" | sed -E 's/.* out of ([0-9]+).*/\1/')
    failed=$(echo "$line" | sed -E 's/.*passed, ([0-9]+) tests failed.*/\1/')
    total_passed=$((total_passed + total - failed))
    total_failed=$((total_failed + failed))
  fi
  rm -f "$log"
  [ "$rc" -eq 0 ] || status=1
}

echo "== Build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}"
cmake --build build -j "$jobs"
echo "== Tests"
run_suite build

echo "== Tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORDIX_SANITIZE=ON -DORDIX_BUILD_BENCH=OFF "${launcher[@]}"
cmake --build build-asan -j "$jobs"
# The window tests on the X server (label xcb) ran in the normal build; here
# they run offscreen only, to keep the run short.
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build-asan -LE xcb

if [ -x scripts/fuzz-smoke.sh ]; then
  echo "== Fuzz smoke run"
  if scripts/fuzz-smoke.sh; then
    total_passed=$((total_passed + 1))
  else
    total_failed=$((total_failed + 1))
    status=1
  fi
fi

echo "== Install, package and their checks"
if scripts/check-install.sh build; then
  total_passed=$((total_passed + 1))
else
  total_failed=$((total_failed + 1))
  status=1
fi

echo
echo "${total_passed} passed, ${total_failed} failed"
exit $status
