#!/usr/bin/env bash
# Installs the Debian packages Dwellor needs to build, run and test.
# Does nothing when everything is already present.
set -euo pipefail

packages=(
  # build
  cmake g++ make pkg-config qt6-base-dev libx11-dev libxtst-dev libxfixes-dev libgtest-dev libbenchmark-dev
  # tests: X server, tray host, window manager (for minimising), input driving, screenshots
  xvfb xauth xdotool x11-utils trayer twm imagemagick
  # tests: a private session bus with a StatusNotifier host of the tests' own
  dbus-daemon python3 python3-dbus python3-gi
)

missing=()
for p in "${packages[@]}"; do
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
