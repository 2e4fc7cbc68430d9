#!/usr/bin/env bash
# Checks the C++ files' layout, builds Ordix with warnings as errors and
# runs every test: the normal build (the window tests both
# offscreen and on Xvfb with openbox, and the scenario driven by real X
# input), the same tests under AddressSanitizer (with leak detection) and
# UndefinedBehaviorSanitizer (offscreen) in a clang build that also holds
# the fuzz targets, the threaded units under ThreadSanitizer, a short fuzz
# run, the install checks, and the Windows leg:
# the program cross-built for Windows, its tests under Wine, the installer,
# and the installed program driven by real keys under Wine.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

# The Windows Qt and libraries are built once into a cache outside the clone
# (about an hour on two cores; seconds when the cache is there). It starts
# first and runs beside the Linux builds.
win_cache_log=$(mktemp)
win_cache_out=$(mktemp)
nice -n 5 scripts/windows/build-cache.sh > "$win_cache_out" 2> "$win_cache_log" &
win_cache_pid=$!

jobs=$(nproc)
# A compiler cache, when the machine has one, makes rebuilds cheap (also
# from another clone of the same tree).
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
fi
status=0
# Each leg's wall time, printed at the end (the README quotes them).
leg_names=()
leg_starts=()
leg() {
  echo "== $1"
  leg_names+=("$1")
  leg_starts+=("$SECONDS")
}
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

leg "Layout of the C++ files (.clang-format)"
if scripts/check-format.sh; then
  total_passed=$((total_passed + 1))
else
  total_failed=$((total_failed + 1))
  status=1
fi

leg "Build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORDIX_WERROR=ON "${launcher[@]}"
cmake --build build -j "$jobs"
leg "Tests"
run_suite build

leg "Tests under AddressSanitizer and UndefinedBehaviorSanitizer"
# One clang build holds both these tests and the fuzz targets (run below):
# the logic is compiled once for both.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DORDIX_SANITIZE=ON \
  -DORDIX_FUZZ=ON -DORDIX_BUILD_BENCH=OFF -DORDIX_WERROR=ON "${launcher[@]}"
cmake --build build-asan -j "$jobs"
# The window tests on the X server (label xcb) and on Wayland (label
# wayland) ran in the normal build; here they run offscreen only, to keep
# the run short. On Wayland, Qt 6.4's client can abort on its own event
# thread when a window is hidden while its frame callback is being handled
# (wl_proxy_unref); the sanitizers' slowness makes that race frequent, and
# it is no fault of the program's that they could show.
# Leaks fail the run; what Qt and the system libraries keep to the end of
# the process is suppressed in tests/lsan.supp, each entry with its reason.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp":print_suppressions=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build-asan -LE "xcb|wayland"

leg "Threaded units under ThreadSanitizer"
# A small build of its own: the units that start threads and their direct
# test (tests/tsan), since Qt is not built with the sanitizer.
cmake -S tests/tsan -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}"
cmake --build build-tsan -j "$jobs"
run_suite build-tsan

if [ -x scripts/fuzz-smoke.sh ]; then
  leg "Fuzz smoke run"
  if ORDIX_FUZZ_BUILD="$PWD/build-asan" scripts/fuzz-smoke.sh; then
    total_passed=$((total_passed + 1))
  else
    total_failed=$((total_failed + 1))
    status=1
  fi
fi

leg "Install, package and their checks"
if scripts/check-install.sh build; then
  total_passed=$((total_passed + 1))
else
  total_failed=$((total_failed + 1))
  status=1
fi

windows_step() {
  local name=$1
  shift
  if "$@"; then
    total_passed=$((total_passed + 1))
  else
    echo "Windows leg failed: $name"
    total_failed=$((total_failed + 1))
    status=1
  fi
}

leg "Windows: waiting for the Qt cache"
if ! wait "$win_cache_pid"; then
  echo "Windows leg failed: the Qt cache for Windows could not be built (scripts/windows/build-cache.sh):"
  tail -n 40 "$win_cache_log"
  total_failed=$((total_failed + 1))
  status=1
else
  qt_win=$(tail -n 1 "$win_cache_out")
  leg "Windows: the cross-build, its tests under Wine, the installer"
  echo "Qt for Windows: $qt_win ($(cat "$qt_win/.complete"))"
  if scripts/windows/test-windows.sh build "$qt_win"; then
    # Wine may open windows while it sets itself up: a private X display.
    wine_state=$(mktemp -u)
    scripts/xvfb-session.sh start "$wine_state"
    wine_display=$(. "$wine_state" && echo "$DISPLAY_NAME")
    DISPLAY=$wine_display run_suite build-windows
    scripts/xvfb-session.sh stop "$wine_state"
    windows_step "the installer" scripts/windows/test-windows.sh installer "$qt_win"
    windows_step "the installed ordix-cli.exe gives the Linux program's output" scripts/windows/test-windows.sh cli "$qt_win"
    windows_step "the installed program under Wine" scripts/windows/test-windows.sh scenario
  else
    echo "Windows leg failed: the cross-build"
    total_failed=$((total_failed + 1))
    status=1
  fi
fi
rm -f "$win_cache_log" "$win_cache_out"

echo
echo "Wall time of each leg:"
for i in "${!leg_names[@]}"; do
  next=${leg_starts[$((i + 1))]:-$SECONDS}
  printf '  %5d s  %s\n' $((next - leg_starts[i])) "${leg_names[i]}"
done
printf '  %5d s  in all\n' "$SECONDS"
echo "${total_passed} passed, ${total_failed} failed"
exit $status
