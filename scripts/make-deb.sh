#!/usr/bin/env bash
# Builds the Debian package ordix_<version>_<arch>.deb from a configured
# build folder, without installing anything on this machine.
#
#   scripts/make-deb.sh [BUILD_DIR [OUT_DIR]]
#
# BUILD_DIR defaults to build, OUT_DIR to build-deb. The package's
# dependencies are computed from the executables by dpkg-shlibdeps; it has no
# maintainer scripts. Prints the package's path on its last line.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$top/build}")
out=$(realpath -m "${2:-$top/build-deb}")

version=$(sed -n 's/^project(Ordix VERSION \([0-9.]*\).*/\1/p' "$top/CMakeLists.txt")
arch=$(dpkg --print-architecture)
[ -n "$version" ] || { echo "make-deb: no version in CMakeLists.txt" >&2; exit 1; }

cmake --build "$build" --target ordix ordix-cli

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
root="$stage/ordix"
DESTDIR="$root" cmake --install "$build" --prefix /usr > /dev/null

# Files as Debian wants them: stripped executables, compressed manual pages,
# the copyright and the changelog beside the documentation.
strip --strip-unneeded --remove-section=.comment --remove-section=.note "$root"/usr/bin/*
gzip -9n "$root"/usr/share/man/man1/*.1
install -m 644 "$top/data/debian/copyright" "$root/usr/share/doc/ordix/copyright"
gzip -9nc "$top/data/debian/changelog" > "$root/usr/share/doc/ordix/changelog.gz"
find "$root" -type d -exec chmod 755 {} +
find "$root" -type f -exec chmod 644 {} +
chmod 755 "$root"/usr/bin/*

# The shared libraries the executables need, as package dependencies.
mkdir -p "$stage/debian"
printf 'Source: ordix\n\nPackage: ordix\nArchitecture: any\n' > "$stage/debian/control"
depends=$(cd "$stage" && dpkg-shlibdeps -O -e ordix/usr/bin/ordix -e ordix/usr/bin/ordix-cli 2>/dev/null |
  sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || { echo "make-deb: dpkg-shlibdeps found no dependencies" >&2; exit 1; }

mkdir -p "$root/DEBIAN"
size=$(du -sk --exclude=DEBIAN "$root" | cut -f1)
sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@SIZE@/$size/" -e "s/@DEPENDS@/$depends/" \
  "$top/data/debian/control.in" > "$root/DEBIAN/control"
(cd "$root" && find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum) > "$root/DEBIAN/md5sums"
chmod 644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"

mkdir -p "$out"
deb="$out/ordix_${version}_${arch}.deb"
dpkg-deb --root-owner-group --build "$root" "$deb" > /dev/null
echo "$deb"
