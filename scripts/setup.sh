#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the panel needs to build, test and run. Quick when they are
# all present; uses sudo when not run as root.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  qt6-base-dev libftdi1-dev libusb-1.0-0-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-dejavu-core fontconfig libfontconfig-dev libxcb1-dev
  clang libclang-rt-14-dev
  dpkg-dev file
  umockdev libumockdev-dev
  xvfb xdotool x11-utils openbox imagemagick weston qt6-wayland
  lintian appstream desktop-file-utils librsvg2-bin man-db
  at-spi2-core python3-pyatspi dbus-x11
  x11-xserver-utils
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    echo "Installing these needs root: run this as root, or install sudo first." >&2
    exit 1
  fi
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
