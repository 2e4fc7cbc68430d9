#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address and undefined-behaviour
# sanitizers) and runs each on its seed corpus in fuzz/corpus/<target>.
#
#   scripts/fuzz-smoke.sh                 fixed number of runs per target (quick check)
#   scripts/fuzz-smoke.sh --runs 100000   more runs
#   scripts/fuzz-smoke.sh --long          10 minutes per target, corpus kept in the build folder
#   scripts/fuzz-smoke.sh --time 3600 fuzz_filter
#                                         one target for an hour
#
# Exits non-zero when a target crashes, leaks or fails one of its checks; the
# input that did it is written to <build>/fuzz-artifacts/.
# The build folder is build-fuzz beside the sources (ORDIX_FUZZ_BUILD overrides).
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${ORDIX_FUZZ_BUILD:-$root/build-fuzz}"
runs=4000
seconds=""
targets=()

while [ $# -gt 0 ]; do
  case "$1" in
    --long) seconds=600 ;;
    --time) seconds="$2"; shift ;;
    --runs) runs="$2"; shift ;;
    -h|--help) sed -n '2,16p' "$0"; exit 0 ;;
    fuzz_*) targets+=("$1") ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
  shift
done
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_filter fuzz_lines fuzz_settings fuzz_price fuzz_csv fuzz_xls fuzz_xlsx fuzz_compare
                                     fuzz_order fuzz_carmodels fuzz_downloadlist fuzz_schema fuzz_currency fuzz_archive)

# A compiler cache, when the machine has one, makes a later run cheap.
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
fi
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ \
    -DORDIX_FUZZ=ON -DORDIX_BUILD_GUI=OFF -DORDIX_BUILD_BENCH=OFF -DORDIX_WERROR=ON "${launcher[@]}"
fi

# One build at a time on this machine.
build_cmd=(cmake --build "$build" --target "${targets[@]}" -j2)
if command -v flock >/dev/null 2>&1; then
  flock /tmp/ordix-build.lock "${build_cmd[@]}"
else
  "${build_cmd[@]}"
fi

export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export QT_QPA_PLATFORM=offscreen

artifacts="$build/fuzz-artifacts"
mkdir -p "$artifacts"
failed=()
for target in "${targets[@]}"; do
  seeds="$root/fuzz/corpus/$target"
  if [ -n "$seconds" ]; then
    # Long runs keep what they find for the next run.
    work="$build/fuzz-corpus/$target"
    mkdir -p "$work"
    limit=(-max_total_time="$seconds")
  else
    work="$(mktemp -d)"
    limit=(-runs="$runs")
  fi
  # Inputs as long as the longest seed (an archive), at least 4 KiB.
  max_len=$(find "$seeds" -type f -printf '%s\n' | sort -n | tail -n 1)
  [ "${max_len:-0}" -ge 4096 ] || max_len=4096
  echo "== $target (${limit[*]})"
  if "$build/fuzz/$target" "${limit[@]}" -max_len="$max_len" -timeout=10 \
      -artifact_prefix="$artifacts/$target-" -print_final_stats=1 \
      "$work" "$seeds"; then
    echo "== $target: passed"
  else
    echo "== $target: FAILED (see $artifacts)" >&2
    failed+=("$target")
  fi
  [ -n "$seconds" ] || rm -rf "$work"
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "Failed: ${failed[*]}" >&2
  exit 1
fi
echo "All fuzz targets passed."
