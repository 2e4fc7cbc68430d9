#!/usr/bin/env bash
# Builds the Windows (x86_64-w64-mingw32) Qt and the libraries Ordix links,
# from Debian's source packages, into a cache folder outside the clone:
#
#   ${ORDIX_WIN_CACHE:-${XDG_CACHE_HOME:-~/.cache}/ordix-windows}/<recipe hash>
#
# The hash covers this script, the toolchain file and the Qt patch, so a
# changed recipe builds a new cache and every later run reuses it. The build
# goes into "<hash>.partial" and is renamed into place only when complete, so
# an interrupted run leaves nothing that looks finished.
#
# Prints the cache folder on its last line of stdout. With --print only
# prints where the cache is (or would be) and exits 0 if it is complete.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
toolchain="$here/mingw64.cmake"
patch="$here/qtbase-no-opengl.patch"

root=${ORDIX_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/ordix-windows}
key=$(cat "$0" "$toolchain" "$patch" | sha256sum | cut -c1-16)
prefix="$root/$key"

if [ "${1:-}" = "--print" ]; then
  echo "$prefix"
  [ -f "$prefix/.complete" ]
  exit
fi
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

mkdir -p "$root"
# One builder at a time: a second run waits for the first and then reuses it.
exec 9>"$root/.lock"
flock 9
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

jobs=${ORDIX_WIN_JOBS:-$(nproc)}
partial="$prefix.partial"
work="$root/work-$key"
src="$root/sources"
# An interrupted run is taken up where it stopped: each finished stage
# leaves a mark in the partial folder, and its build folder stays.
mkdir -p "$src" "$work" "$partial"
started=$(date +%s)

log() { echo "[windows cache] $*" >&2; }
done_stage() { [ -f "$partial/.stage-$1" ]; }
mark_stage() { touch "$partial/.stage-$1"; }

# Debian's source packages: a deb-src entry beside the machine's deb entries,
# made from the addresses apt already uses.
ensure_sources() {
  local f=/etc/apt/sources.list.d/debian.sources
  local srcf=/etc/apt/sources.list.d/ordix-src.sources
  if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
    [ -f "$f" ] || { log "no $f to take the archive's address from"; exit 1; }
    local uri signed
    uri=$(awk '/^URIs:/ {print $2; exit}' "$f")
    signed=$(awk '/^Signed-By:/ {print $2; exit}' "$f")
    local suite
    suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
    printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: %s\n' \
      "$uri" "$suite" "$signed" > "$srcf"
    apt-get update >&2
  fi
}

fetch() { # fetch PACKAGE DIRGLOB
  local pkg=$1 glob=$2
  if ! compgen -G "$src/$glob/" >/dev/null; then
    ensure_sources
    log "fetching the source package $pkg"
    (cd "$src" && apt-get source "$pkg" >&2) || {
      # A second try after refreshing the lists (they may be stale).
      apt-get update >&2
      (cd "$src" && apt-get source "$pkg" >&2)
    }
  fi
  local d
  for d in "$src"/$glob; do
    [ -d "$d" ] && { echo "$d"; return; }
  done
  log "the source package $pkg gave no folder"; exit 1
}

need=(g++-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev dpkg-dev qt6-base-dev qt6-base-dev-tools cmake ninja-build)
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update >&2
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}" >&2
fi

common=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release
        -DCMAKE_INSTALL_PREFIX="$partial" -DORDIX_WIN_PREFIX="$partial")

if ! done_stage xlsxwriter; then
  log "building libxlsxwriter"
  xlsrc=$(fetch libxlsxwriter 'libxlsxwriter-*')
  cmake -S "$xlsrc" -B "$work/xlsxwriter" "${common[@]}" -DBUILD_SHARED_LIBS=OFF \
    -DUSE_SYSTEM_MINIZIP=OFF -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF >&2
  cmake --build "$work/xlsxwriter" -j "$jobs" >&2
  cmake --install "$work/xlsxwriter" >&2
  mark_stage xlsxwriter
fi

if ! done_stage libarchive; then
  log "building libarchive"
  arsrc=$(fetch libarchive 'libarchive-*')
  # CMake crashes in libarchive's ZLIB_WINAPI try-run without an emulator.
  WINEPREFIX="$work/wine" WINEDEBUG=-all cmake -S "$arsrc" -B "$work/libarchive-build" "${common[@]}" -DCMAKE_CROSSCOMPILING_EMULATOR=wine \
    -DBUILD_SHARED_LIBS=OFF -DENABLE_OPENSSL=OFF -DENABLE_LIBXML2=OFF -DENABLE_EXPAT=OFF \
    -DENABLE_LZMA=OFF -DENABLE_BZip2=OFF -DENABLE_ZSTD=OFF -DENABLE_LZ4=OFF -DENABLE_CNG=OFF \
    -DENABLE_TEST=OFF -DENABLE_TAR=OFF -DENABLE_CPIO=OFF -DENABLE_CAT=OFF -DENABLE_ICONV=OFF \
    -DENABLE_WERROR=OFF >&2
  cmake --build "$work/libarchive-build" -j "$jobs" >&2
  cmake --install "$work/libarchive-build" >&2
  mark_stage libarchive
fi

if ! done_stage qt; then
  # Qt last: it is by far the longest part.
  qtsrc=$(fetch qt6-base 'qt6-base-*')
  if ! grep -q 'ORDIX: no dynamic GL' "$qtsrc/src/plugins/platforms/windows/qwindowswindow.cpp"; then
    (cd "$qtsrc" && patch -p1 --forward < "$patch" >&2)
  fi
  # Parts of Qt the program never uses, left out to shorten the build:
  # touch input over the network, widgets and dialogs no window of Ordix
  # shows, the Markdown and ODF text formats, local sockets and DNS
  # look-ups. The date editor and the calendar stay: the print dialog needs
  # them. Direct2D stays too: Qt 6.4 builds its DirectWrite font engine only
  # with it, and the printing and the Windows platform need that engine. So
  # does FreeType: the offscreen platform (ordix-cli.exe's) draws text with
  # it.
  unused=(-DFEATURE_tuiotouch=OFF
          -DFEATURE_mdiarea=OFF -DFEATURE_dial=OFF -DFEATURE_lcdnumber=OFF -DFEATURE_keysequenceedit=OFF
          -DFEATURE_fontdialog=OFF -DFEATURE_colordialog=OFF -DFEATURE_wizard=OFF -DFEATURE_undoview=OFF
          -DFEATURE_columnview=OFF -DFEATURE_splashscreen=OFF -DFEATURE_toolbox=OFF -DFEATURE_syntaxhighlighter=OFF
          -DFEATURE_textmarkdownreader=OFF -DFEATURE_textmarkdownwriter=OFF -DFEATURE_textodfwriter=OFF
          -DFEATURE_localserver=OFF -DFEATURE_dnslookup=OFF)
  log "configuring Qt"
  cmake -S "$qtsrc" -B "$work/qt" "${common[@]}" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DBUILD_SHARED_LIBS=ON -DBUILD_WITH_PCH=ON \
    -DFEATURE_sql=OFF -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_dbus=OFF -DFEATURE_vulkan=OFF \
    -DFEATURE_tabletevent=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
    -DFEATURE_system_zlib=OFF "${unused[@]}" >&2
  log "building Qt with $jobs jobs"
  cmake --build "$work/qt" -j "$jobs" >&2
  cmake --install "$work/qt" >&2
  mark_stage qt
fi

# The price archive reader is linked into the program: only its static form
# stays, and its users compile against the static declarations.
rm -f "$partial/bin/libarchive.dll" "$partial/lib/libarchive.dll.a"
sed -i -E 's|^Cflags: .*|Cflags: -I${includedir} -DLIBARCHIVE_STATIC|; s|^Libs: .*|Libs: -L${libdir} -larchive_static -lz|' \
  "$partial/lib/pkgconfig/libarchive.pc"
# The pkg-config files name the folder they are in, not the build's path, so
# the cache can be renamed.
for pc in "$partial"/lib/pkgconfig/*.pc; do
  sed -i -E 's|^prefix=.*|prefix=${pcfiledir}/../..|' "$pc"
done

rm -f "$partial"/.stage-*
echo "built in $(( $(date +%s) - started )) s on $(nproc) cores" > "$partial/.complete"
rm -rf "$prefix"
mv "$partial" "$prefix"
rm -rf "$work"
log "done in $(( $(date +%s) - started )) s"
echo "$prefix"
