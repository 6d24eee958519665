#!/usr/bin/env bash
# Installs the Debian packages of the groups named on the command line, only
# those missing; runs apt-get update only when something is missing.
#   build    building and running Dwellor
#   test     build + running every test
#   bench    build + the benchmarks
#   package  build + making the Debian package
#   windows  cross-building dwellor.exe with mingw-w64 (no Qt, no X11)
#   windows-package  windows + the NSIS installer and the zip
set -euo pipefail

build=(cmake g++ make pkg-config qt6-base-dev libx11-dev libxtst-dev libxfixes-dev libxi-dev
       qt6-wayland libwayland-dev libwayland-bin plasma-wayland-protocols wayland-protocols libdbus-1-dev)
# X server, tray host, window manager (for minimising), input driving,
# screenshots, the validators of the installed files and of the package, and
# a private session bus with accessibility, a headless Wayland compositor
# with XWayland, and the compositors Dwellor works in on Wayland (KWin, with
# the Qt 5 Wayland plugin it runs on, and sway).
test=(libgtest-dev xvfb xauth xdotool x11-utils trayer twm imagemagick
      desktop-file-utils appstream mandoc librsvg2-bin lintian dpkg-dev fakeroot file
      dbus dbus-daemon python3-dbus python3-gi gir1.2-glib-2.0 at-spi2-core python3-pyatspi
      weston xwayland kwin-wayland qtwayland5 sway
      g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 nsis zip)
bench=(libbenchmark-dev xvfb xauth)
package=(dpkg-dev fakeroot file)
# The .ico files are made from the XPMs at build time with ImageMagick.
windows=(cmake make g++-mingw-w64-x86-64-posix mingw-w64-tools imagemagick)
windows_package=(nsis zip)

usage() { echo "usage: $0 build|test|bench|package|windows|windows-package ..." >&2; exit 2; }
[ $# -gt 0 ] || usage
packages=()
for group in "$@"; do
  case "$group" in
    build) packages+=("${build[@]}") ;;
    test) packages+=("${build[@]}" "${test[@]}") ;;
    bench) packages+=("${build[@]}" "${bench[@]}") ;;
    package) packages+=("${build[@]}" "${package[@]}") ;;
    windows) packages+=("${windows[@]}") ;;
    windows-package) packages+=("${windows[@]}" "${windows_package[@]}") ;;
    *) usage ;;
  esac
done

missing=()
for p in $(printf '%s\n' "${packages[@]}" | sort -u); do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
