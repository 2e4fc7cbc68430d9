#!/usr/bin/env bash
# Proves the installed form of Ordix without installing anything on this
# machine:
#   - the menu entry, the software-centre description and the manual pages
#     pass their validators;
#   - `cmake --install` into a temporary prefix puts every file in place, and
#     the installed ordix-cli runs a price/order/export round trip on the
#     demo data, the installed ordix finds its help document and starts;
#   - scripts/make-deb.sh builds the package, which is inspected
#     (dpkg-deb -I, -c), unpacked with dpkg-deb -x and run from there, and
#     checked by lintian (no errors).
#
#   scripts/check-install.sh [BUILD_DIR]     (default: build)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$top/build}")
cd "$top"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-install: FAILED: $*" >&2; exit 1; }
step() { echo "-- $*"; }
export LC_ALL=C.UTF-8

step "desktop-file-validate data/ordix.desktop"
desktop-file-validate data/ordix.desktop || fail "the menu entry"

metainfo=data/example.zolt.ordix.metainfo.xml
step "appstreamcli validate --no-net $metainfo"
appstreamcli validate --no-net "$metainfo" || fail "the metainfo"
# The screenshot's address names a picture kept in the source.
shot=$(sed -n 's|.*<image[^>]*>[^<]*/\([^/<]*\)</image>.*|\1|p' "$metainfo")
[ -n "$shot" ] && [ -f "data/screenshots/$shot" ] || fail "the screenshot $shot is not in data/screenshots"

for page in data/man/*.1; do
  step "man --warnings -l $page"
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 > /dev/null)
  [ -z "$warnings" ] || fail "$page: $warnings"
done

step "cmake --install into a temporary prefix"
cmake --build "$build" --target ordix ordix-cli > /dev/null
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" > /dev/null
for file in bin/ordix bin/ordix-cli share/ordix/readme.html include/ordix/catalogplugin.h \
  share/doc/ordix/catalog-plugin.md share/applications/ordix.desktop share/metainfo/example.zolt.ordix.metainfo.xml \
  share/icons/hicolor/scalable/apps/ordix.svg share/man/man1/ordix.1 share/man/man1/ordix-cli.1; do
  [ -f "$prefix/$file" ] || fail "not installed: $file"
done
for size in 16 22 24 32 48 64 128 256; do
  [ -f "$prefix/share/icons/hicolor/${size}x${size}/apps/ordix.png" ] || fail "no ${size}x${size} icon"
done
[ ! -e "$prefix/bin/readme.html" ] || fail "the help document lies in bin"

# The installed programs of the folder $1/bin, with their data in $1/share.
check_programs() {
  local root=$1 label=$2
  local cli="$root/bin/ordix-cli" demo="$work/demo-$label"
  step "$label: ordix-cli --help"
  "$cli" --help > "$work/usage.txt" || fail "$label: ordix-cli --help"
  grep -q '^Usage:' "$work/usage.txt" || fail "$label: ordix-cli --help prints no usage"

  step "$label: price/order/export round trip on the demo data"
  python3 demo/make_demo.py "$demo" > /dev/null
  "$cli" --dir "$demo" price ZOLT.TXT --compare ZOLT_OLD.TXT --sort Price --desc > "$work/price.tsv" ||
    fail "$label: price"
  [ "$(wc -l < "$work/price.tsv")" -gt 1000 ] || fail "$label: the price list printed too few rows"
  # An order of the three dearest parts, as the supplier's order file.
  codes=$(sed -n '2,4p' "$work/price.tsv" | cut -f3)
  { printf 'ЗАКАЗ:\r\n'; for code in $codes; do printf '%s||||%s\r\n' "$code" 2; done; } |
    iconv -f UTF-8 -t CP1251 > "$demo/order.txt"
  "$cli" --dir "$demo" order order.txt --price ZOLT.TXT > "$work/order.tsv" || fail "$label: order"
  [ "$(grep -c -E $'^[0-9]+\t' "$work/order.tsv")" -eq 3 ] || fail "$label: the order has not its three lines"
  "$cli" --dir "$demo" export order.txt --price ZOLT.TXT --to order -o saved.txt || fail "$label: export order"
  "$cli" --dir "$demo" order saved.txt --price ZOLT.TXT > "$work/again.tsv" || fail "$label: order of the saved order"
  cmp -s "$work/order.tsv" "$work/again.tsv" || fail "$label: the saved order reads back differently"
  "$cli" --dir "$demo" export order.txt --price ZOLT.TXT --to txt -o order-export.txt || fail "$label: export txt"
  "$cli" --dir "$demo" export order.txt --price ZOLT.TXT --to xlsx -o order.xlsx || fail "$label: export xlsx"
  "$cli" --dir "$demo" export order.txt --price ZOLT.TXT --to pdf -o order.pdf || fail "$label: export pdf"
  [ "$(head -c 2 "$demo/order.xlsx")" = "PK" ] || fail "$label: order.xlsx is no workbook"
  [ "$(head -c 4 "$demo/order.pdf")" = "%PDF" ] || fail "$label: order.pdf is no PDF"
  [ ! -e "$demo/DStruct.xml" ] || fail "$label: ordix-cli left DStruct.xml behind"

  step "$label: ordix --help-file and a start of the window"
  local help
  help=$(QT_QPA_PLATFORM=offscreen "$root/bin/ordix" --help-file) || fail "$label: ordix finds no help document"
  [ "$help" = "$(realpath "$root/share/ordix/readme.html")" ] || fail "$label: ordix's help document is $help"
  local code=0
  (cd "$demo" && XDG_DATA_HOME="$demo/data" QT_QPA_PLATFORM=offscreen timeout 5 "$root/bin/ordix" > /dev/null 2>&1) || code=$?
  [ "$code" -eq 124 ] || fail "$label: ordix ended with status $code instead of running"
}
check_programs "$prefix" "installed"

step "scripts/make-deb.sh"
deb=$(scripts/make-deb.sh "$build" "$work/deb" | tail -n 1)
[ -f "$deb" ] || fail "no package"
echo "$(basename "$deb")"
[[ "$(basename "$deb")" =~ ^ordix_[0-9.]+_[a-z0-9]+\.deb$ ]] || fail "package name $(basename "$deb")"

step "dpkg-deb -I"
dpkg-deb -I "$deb" | tee "$work/info"
grep -q '^ Package: ordix$' "$work/info" || fail "package name in control"
grep -q '^ Depends: .*libqt6widgets6' "$work/info" || fail "no computed dependency on the Qt libraries"
# The control part holds the control file and the checksums: no maintainer scripts.
extra=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -v -E '^\./?$|^\./(control|md5sums)$' || true)
[ -z "$extra" ] || fail "unexpected control files: $extra"

step "dpkg-deb -c"
dpkg-deb -c "$deb" | tee "$work/contents" | awk '{print $6}'
for file in usr/bin/ordix usr/bin/ordix-cli usr/share/ordix/readme.html usr/share/applications/ordix.desktop \
  usr/share/metainfo/example.zolt.ordix.metainfo.xml usr/share/icons/hicolor/48x48/apps/ordix.png \
  usr/share/man/man1/ordix.1.gz usr/share/man/man1/ordix-cli.1.gz usr/include/ordix/catalogplugin.h \
  usr/share/doc/ordix/copyright usr/share/doc/ordix/changelog.gz; do
  grep -q " \./$file\$" "$work/contents" || fail "the package lacks $file"
done

step "dpkg-deb -x and the programs run from there"
dpkg-deb -x "$deb" "$work/unpacked"
check_programs "$work/unpacked/usr" "unpacked"

if command -v lintian > /dev/null; then
  step "lintian"
  lintian --fail-on error "$deb" || fail "lintian found errors"
else
  fail "lintian is missing (scripts/install-deps.sh installs it)"
fi
echo "check-install: passed"
