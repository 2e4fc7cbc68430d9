#!/usr/bin/env bash
# The Windows leg of the tests: a cross-built tree in build-windows, run
# under Wine.
#
#   test-windows.sh build QTPREFIX   configure and build build-windows
#   test-windows.sh cli QTPREFIX     ordix-cli.exe against the Linux ordix-cli
#                                    (build/src/app/ordix-cli) on the demo data
#   test-windows.sh installer QTPREFIX   build-windows/ordix-<version>-setup.exe
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
    -DORDIX_BUILD_BENCH=OFF "${launcher[@]}"
  cmake --build "$build" -j "$(nproc)"
  ;;

cli)
  need_qt
  linux=$top/build/src/app/ordix-cli
  [ -x "$linux" ] || { echo "test-windows: the Linux ordix-cli is not built ($linux)" >&2; exit 1; }
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
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
  runwin() { "$here/wine-run.sh" --qt "$qt" --prefix "$build/wineprefix" "$build/src/app/ordix-cli.exe" "$@"; }
  demo_win="Z:${work//\//\\}\\demo"
  failed=0
  compare() { # compare NAME LINUX-OUTPUT WINDOWS-OUTPUT
    if cmp -s "$2" "$3"; then
      echo "same: $1 ($(wc -l < "$2") lines)"
    else
      echo "DIFFERENT: $1" >&2
      diff "$2" "$3" | head -n 20 >&2 || true
      failed=1
    fi
  }
  "$linux" --dir "$work/demo" price ZOLT.TXT --compare ZOLT_OLD.TXT > "$work/l-price.txt"
  runwin --dir "$demo_win" price ZOLT.TXT --compare ZOLT_OLD.TXT | tr -d '\r' > "$work/w-price.txt"
  compare "price rows with --compare" "$work/l-price.txt" "$work/w-price.txt"
  "$linux" --dir "$work/demo" order order.txt --price ZOLT.TXT > "$work/l-order.txt" 2>"$work/l-order.err"
  runwin --dir "$demo_win" order order.txt --price ZOLT.TXT 2>"$work/w-order.err" | tr -d '\r' > "$work/w-order.txt"
  compare "order re-priced with --price" "$work/l-order.txt" "$work/w-order.txt"
  "$linux" --dir "$work/demo" export order.txt --price ZOLT.TXT --to order -o linux-order.txt
  runwin --dir "$demo_win" export order.txt --price ZOLT.TXT --to order -o windows-order.txt
  compare "order file from export --to order" "$work/demo/linux-order.txt" "$work/demo/windows-order.txt"
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
  echo "usage: $0 build|cli|installer QTPREFIX | scenario" >&2
  exit 2
  ;;
esac
