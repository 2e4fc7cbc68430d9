#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Safe to run again: it installs only what is missing.
set -euo pipefail

pkgs=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev libgl-dev
  qt6-translations-l10n qt6-qpa-plugins
  libxlsxwriter-dev libarchive-dev
  libgtest-dev libbenchmark-dev libsqlite3-dev
  clang libclang-rt-14-dev
  xvfb xauth fonts-dejavu-core openbox xdotool x11-utils imagemagick
  python3 python3-openpyxl poppler-utils
  desktop-file-utils appstream man-db dpkg-dev lintian
  ccache file clang-format
  # The Windows leg: the mingw-w64 cross compilers (posix threads), NSIS for
  # the installer and 64-bit Wine to run the programs.
  g++-mingw-w64-x86-64-posix mingw-w64-tools libz-mingw-w64-dev nsis wine wine64
  # The Wayland leg (headless sway, virtual keyboard and pointer, screenshots)
  # and the GNOME platform theme leg of the window tests.
  sway wtype grim libwayland-dev qt6-wayland qt6-gtk-platformtheme
)

missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
