#!/usr/bin/env bash
# The Windows leg of the tests: a cross-built tree in build-windows, run
# under Wine.
#
#   test-windows.sh build QTPREFIX   configure and build build-windows
#   test-windows.sh installer QTPREFIX   build-windows/ordix-<version>-setup.exe
#   test-windows.sh cli [QTPREFIX]   the installed ordix-cli.exe (fresh prefix,
#                                    no display, then on Xvfb) against the
#                                    Linux ordix-cli (build/src/app/ordix-cli)
#                                    on the demo data
#   test-windows.sh scenario         the installer under Wine in a fresh prefix,
#                                    the installed ordix.exe driven by real keys
#
# Each exits non-zero with a line saying why when its part fails.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
cd "$top"
build=$top/build-windows
step=${1:-}
qt=${2:-}
version=$(sed -nE 's/^project\(Ordix VERSION ([0-9.]+).*/\1/p' CMakeLists.txt)
setup=$build/ordix-$version-setup.exe

need_qt() {
  [ -n "$qt" ] && [ -f "$qt/.complete" ] || { echo "test-windows: no complete Qt cache given ($qt)" >&2; exit 1; }
}

case "$step" in
build)
  need_qt
  launcher=()
  command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  PKG_CONFIG_LIBDIR="$qt/lib/pkgconfig" PKG_CONFIG_SYSROOT_DIR= \
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$here/mingw64.cmake" -DORDIX_WIN_PREFIX="$qt" -DCMAKE_PREFIX_PATH="$qt" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$here/wine-run.sh;--qt;$qt;--prefix;$build/wineprefix" \
    -DORDIX_BUILD_BENCH=OFF -DORDIX_WERROR=ON "${launcher[@]}"
  cmake --build "$build" -j "$(nproc)"
  ;;

cli)
  # The installed ordix-cli.exe, as a buyer's script would run it: installed
  # silently into a fresh Wine prefix, nothing of the build on any path (no
  # WINEPATH, no QT_PLUGIN_PATH), run with no display and then on a private
  # X display. Its output must be the Linux program's, byte for byte once
  # Windows' CR LF line ends are read as LF, with the same exit status; a
  # run that does not end in time fails (a message box waiting for a click
  # is such a run).
  [ -f "$setup" ] || { echo "test-windows: no installer $setup (the installer step makes it)" >&2; exit 1; }
  linux=$top/build/src/app/ordix-cli
  [ -x "$linux" ] || { echo "test-windows: the Linux ordix-cli is not built ($linux)" >&2; exit 1; }
  limit=${ORDIX_WINE_CLI_TIMEOUT:-120}
  work=$(mktemp -d)
  xstate=$work/xvfb.env
  export WINEPREFIX=$work/prefix HOME=$work/home WINEDEBUG=-all
  # No Mono or Gecko set-up dialogs, no menu entries written for the desktop.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  unset WINEPATH QT_PLUGIN_PATH QT_QPA_PLATFORM QT_QPA_PLATFORM_PLUGIN_PATH DISPLAY WAYLAND_DISPLAY
  mkdir -p "$HOME"
  finish() {
    wineserver -k >/dev/null 2>&1 || true
    "$top/scripts/xvfb-session.sh" stop "$xstate" || true
    rm -rf "$work"
  }
  trap finish EXIT
  python3 demo/make_demo.py "$work/demo" >/dev/null
  # An order of every 97th part of the list, and one part the list lacks.
  python3 - "$work/demo/ZOLT.TXT" "$work/demo/order.txt" <<'PY'
import sys
lines = open(sys.argv[1], "rb").read().decode("cp1251").splitlines()
header = next(i for i, l in enumerate(lines) if "|Наименование|" in l)
cols = lines[header].split("|")
code, name = cols.index("Код"), cols.index("Наименование")
rows = [l.split("|") for l in lines[header + 1:] if l.count("|") >= len(cols) - 1]
out = ["Заказчик: ООО Ромашка", "", "Заказ:"]
for n, r in enumerate(rows[::97][:25]):
    out.append("%s|%s|||%d" % (r[code], r[name], n + 1))
out.append("999999999|Деталь не из прайс-листа|||2")
open(sys.argv[2], "wb").write("".join(l + "\r\n" for l in out).encode("cp1251"))
PY
  demo_win="Z:${work//\//\\}\\demo"

  # The runs: a name, then the arguments, with DEMO for the data folder;
  # "export" writes OUT into it, compared as a file.
  runs=("help|--help"
        "price rows with --compare|--dir|DEMO|price|ZOLT.TXT|--compare|ZOLT_OLD.TXT"
        "order re-priced with --price|--dir|DEMO|order|order.txt|--price|ZOLT.TXT"
        "order file from export --to order|--dir|DEMO|export|order.txt|--price|ZOLT.TXT|--to|order|-o|OUT")
  args_of() { # args_of RUN DEMO OUT -> one argument a line
    local IFS='|' a
    read -r -a a <<< "$1"
    for x in "${a[@]:1}"; do
      case "$x" in DEMO) echo "$2" ;; OUT) echo "$3" ;; *) echo "$x" ;; esac
    done
  }
  n=0
  for run in "${runs[@]}"; do
    n=$((n + 1))
    mapfile -t a < <(args_of "$run" "$work/demo" "linux-$n.out")
    set +e
    "$linux" "${a[@]}" > "$work/linux-$n.txt" 2> "$work/linux-$n.err"
    echo $? > "$work/linux-$n.rc"
    set -e
  done

  started=$(date +%s)
  if ! timeout -k 10 300 wineboot -i >/dev/null 2>&1 || ! timeout -k 10 300 wineserver -w; then
    echo "test-windows: a fresh Wine prefix could not be made" >&2
    exit 1
  fi
  if ! timeout -k 10 "$limit" wine "$setup" /S '/D=C:\Ordix' >/dev/null 2>&1 || ! timeout -k 10 "$limit" wineserver -w; then
    echo "test-windows: the silent install did not end within $limit s" >&2
    exit 1
  fi
  [ -f "$WINEPREFIX/drive_c/Ordix/ordix-cli.exe" ] || { echo "test-windows: the installer put no ordix-cli.exe into C:\\Ordix" >&2; exit 1; }
  echo "a fresh prefix with the installed program in $(( $(date +%s) - started )) s"

  failed=0
  leg() { # leg NAME: every run with the installed program
    local name=$1 n=0 run a rc took w
    for run in "${runs[@]}"; do
      n=$((n + 1))
      w=$work/win-$n
      rm -f "$work/demo/windows-$n.out"
      mapfile -t a < <(args_of "$run" "$demo_win" "windows-$n.out")
      took=$(date +%s)
      set +e
      (cd "$work" && timeout -k 10 "$limit" wine 'C:\Ordix\ordix-cli.exe' "${a[@]}" > "$w.raw" 2> "$w.err")
      rc=$?
      set -e
      took=$(( $(date +%s) - took ))
      if [ $rc -eq 124 ] || [ $rc -eq 137 ]; then
        echo "HANG ($name): ordix-cli.exe ${run%%|*}: no end within $limit s" >&2
        head -c 2000 "$w.err" >&2 || true
        wineserver -k >/dev/null 2>&1 || true
        failed=1
        continue
      fi
      perl -pe 's/\r\n/\n/g' "$w.raw" > "$w.txt"
      if [ "$rc" != "$(cat "$work/linux-$n.rc")" ]; then
        echo "DIFFERENT ($name): ${run%%|*}: exit status $rc, the Linux program's $(cat "$work/linux-$n.rc")" >&2
        head -c 2000 "$w.err" >&2 || true
        failed=1
      elif ! cmp -s "$work/linux-$n.txt" "$w.txt"; then
        echo "DIFFERENT ($name): ${run%%|*}: the output is not the Linux program's" >&2
        diff "$work/linux-$n.txt" "$w.txt" | head -n 20 >&2 || true
        failed=1
      elif [ -f "$work/demo/linux-$n.out" ] && ! cmp -s "$work/demo/linux-$n.out" "$work/demo/windows-$n.out"; then
        echo "DIFFERENT ($name): ${run%%|*}: the file written is not the Linux program's" >&2
        failed=1
      else
        echo "same ($name): ${run%%|*} ($(wc -l < "$w.txt") lines, exit $rc, $took s)"
      fi
    done
    wineserver -k >/dev/null 2>&1 || true
  }
  leg "no display"
  "$top/scripts/xvfb-session.sh" start "$xstate" >/dev/null
  # shellcheck disable=SC1090
  . "$xstate"
  [ -z "${MISSING:-}" ] || { echo "test-windows: Xvfb is not installed: the run on a display cannot be made" >&2; exit 1; }
  export DISPLAY=$DISPLAY_NAME
  leg "display $DISPLAY"
  [ $failed -eq 0 ] || echo "test-windows: the installed ordix-cli.exe did not give the Linux program's output (see above)" >&2
  exit $failed
  ;;

installer)
  need_qt
  rm -f "$build"/ordix-*-setup.exe
  "$here/make-installer.sh" "$build" "$qt" "$setup"
  [ -f "$setup" ] || { echo "test-windows: no installer was made" >&2; exit 1; }
  file "$setup" | grep -q 'PE32+' || { echo "test-windows: the installer is not a 64-bit program" >&2; exit 1; }
  ;;

scenario)
  [ -f "$setup" ] || { echo "test-windows: no installer $setup" >&2; exit 1; }
  exec python3 "$here/scenario-wine.py" --setup "$setup" --demo demo/make_demo.py --out "$build/scenario-shots"
  ;;

*)
  echo "usage: $0 build|installer QTPREFIX | cli [QTPREFIX] | scenario" >&2
  exit 2
  ;;
esac
