#!/usr/bin/env bash
# Makes the Windows installer from a cross-built tree:
#
#   make-installer.sh BUILD QTPREFIX OUTFILE
#
# Stages ordix.exe and ordix-cli.exe with exactly the DLLs they load (found
# by following their imports through the Qt cache and the mingw run-time,
# the Windows system DLLs left out), the Qt plug-ins the programs load at run
# time, Qt's Russian translation, qt.conf, the help document and the icon,
# then runs NSIS. The staged folder stays in BUILD/stage. Fails when a staged
# program or DLL imports a DLL that is neither staged nor Windows' own (as
# far as Wine knows Windows' own).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
qt=$(cd "$2" && pwd)
out=$3
version=$(sed -nE 's/^project\(Ordix VERSION ([0-9.]+).*/\1/p' "$top/CMakeLists.txt")
objdump=x86_64-w64-mingw32-objdump
gcc_dir=$(dirname "$(x86_64-w64-mingw32-gcc-posix -print-libgcc-file-name)")
search=("$qt/bin" "$gcc_dir" /usr/x86_64-w64-mingw32/lib /usr/x86_64-w64-mingw32/bin)

stage="$build/stage"
rm -rf "$stage"
mkdir -p "$stage"
cp "$build/src/app/ordix.exe" "$build/src/app/ordix-cli.exe" "$stage/"

# The plug-ins Qt loads at run time: the Windows platform (ordix.exe, Qt's
# default), the offscreen platform (ordix-cli.exe asks for it: it measures
# texts and draws its PDF reports with no display, and must start where
# there is none), the native style, TLS for downloads over https, and the
# picture formats of the catalogue's photos where they were built.
plugins=(platforms/qwindows.dll platforms/qoffscreen.dll styles/qwindowsvistastyle.dll tls/qschannelbackend.dll
         imageformats/qico.dll imageformats/qjpeg.dll imageformats/qgif.dll)
for p in "${plugins[@]}"; do
  if [ -f "$qt/plugins/$p" ]; then
    mkdir -p "$stage/plugins/$(dirname "$p")"
    cp "$qt/plugins/$p" "$stage/plugins/$p"
  elif [[ $p == platforms/* ]]; then
    echo "make-installer: $qt/plugins/$p is missing" >&2
    exit 1
  fi
done

# Every DLL that something staged imports and that is not the system's.
find_dll() {
  local name=$1 dir
  for dir in "${search[@]}"; do
    local hit
    hit=$(find "$dir" -maxdepth 1 -iname "$name" -print -quit 2>/dev/null || true)
    [ -n "$hit" ] && { echo "$hit"; return 0; }
  done
  return 1
}
declare -A seen=()
declare -A system=() # DLL name -> a staged file that imports it
queue=()
while IFS= read -r f; do queue+=("$f"); done < <(find "$stage" -iname '*.exe' -o -iname '*.dll')
while [ ${#queue[@]} -gt 0 ]; do
  f=${queue[0]}
  queue=("${queue[@]:1}")
  while IFS= read -r dll; do
    key=${dll,,}
    [ -n "${seen[$key]:-}" ] && continue
    seen[$key]=1
    if path=$(find_dll "$dll"); then
      cp "$path" "$stage/"
      queue+=("$stage/$(basename "$path")")
    else
      system[$key]=${f#"$stage"/}
    fi
  done < <("$objdump" -p "$f" | sed -nE 's/^\s*DLL Name: (.*)$/\1/p')
done

# The rest must be Windows' own: Wine's set of system DLLs stands for it
# (the api-ms-win-* sets are resolved by the loader itself).
wine_dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
if [ -d "$wine_dlls" ]; then
  for dll in "${!system[@]}"; do
    case "$dll" in api-ms-win-*|ext-ms-win-*) continue ;; esac
    if [ ! -f "$wine_dlls/$dll" ]; then
      echo "make-installer: ${system[$dll]} needs $dll, which is neither shipped nor a Windows DLL" >&2
      exit 1
    fi
  done
else
  echo "make-installer: $wine_dlls is missing; the DLLs left to Windows are not checked" >&2
fi

mkdir -p "$stage/translations"
cp /usr/share/qt6/translations/qtbase_ru.qm "$stage/translations/"
printf '[Paths]\r\nPrefix = .\r\nPlugins = plugins\r\nTranslations = translations\r\n' > "$stage/qt.conf"
cp "$top/src/links/readme.html" "$stage/"
cp "$top/data/windows/ordix.ico" "$stage/"
find "$stage" -iname '*.exe' -o -iname '*.dll' | xargs x86_64-w64-mingw32-strip --strip-unneeded

# The uninstaller removes exactly these files and the folders they made.
list="$build/installer-files.nsh"
(
  cd "$stage"
  find . -type f | sed 's|^\./||' | sort | while IFS= read -r f; do
    printf 'Delete "$INSTDIR\\%s"\n' "${f//\//\\}"
  done
  find . -mindepth 1 -type d | sed 's|^\./||' | sort -r | while IFS= read -r d; do
    printf 'RMDir "$INSTDIR\\%s"\n' "${d//\//\\}"
  done
) > "$list"

mkdir -p "$(dirname "$out")"
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSTAGE="$stage" -DFILELIST="$list" \
  -DOUTFILE="$(cd "$(dirname "$out")" && pwd)/$(basename "$out")" "$here/ordix.nsi"
echo "$out"
