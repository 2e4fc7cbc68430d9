#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine (64-bit), with the Qt DLLs
# and the mingw run-time found on Wine's search path and Qt's plug-ins from
# the Qt cache. Used by ctest as the cross-compiling emulator:
#
#   wine-run.sh --qt QTPREFIX --prefix WINEPREFIX PROGRAM.exe [ARGS...]
#
# The Wine prefix is made on first use (one lock for concurrent tests). The
# program's output comes back as it wrote it (CR LF).
set -euo pipefail
qt=""
prefix=""
while [ $# -gt 0 ]; do
  case "$1" in
    --qt) qt=$2; shift 2 ;;
    --prefix) prefix=$2; shift 2 ;;
    *) break ;;
  esac
done
[ -n "$qt" ] && [ -n "$prefix" ] && [ $# -ge 1 ] || { echo "usage: $0 --qt DIR --prefix DIR PROGRAM [ARGS...]" >&2; exit 2; }

export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
gcc_dir=$(dirname "$(x86_64-w64-mingw32-gcc-posix -print-libgcc-file-name)")
# Wine's drive Z: is the Unix root.
to_win() { local p=$1; echo "Z:${p//\//\\}"; }
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    [ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
  ) 9>"$WINEPREFIX.lock"
fi
export WINEPATH="$(to_win "$qt/bin");$(to_win "$gcc_dir");$(to_win /usr/x86_64-w64-mingw32/lib)"
export QT_PLUGIN_PATH=$(to_win "$qt/plugins")
# Under Wine the test programs' own output to a pipe is lost; they write
# it to a file, which is shown when they end.
program=$(basename "$1")
if [[ $program == tst_*.exe ]] && [[ " $* " != *" -o "* ]]; then
  log=$(mktemp --suffix=.txt)
  set +e
  wine "$@" -o "$(to_win "$log"),txt"
  rc=$?
  set -e
  cat "$log"
  rm -f "$log"
  exit $rc
fi
exec wine "$@"
