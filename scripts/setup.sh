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
# sudo resets the environment, so the non-interactive front end is passed on through env (and
# the C locale, so that the lock's message below reads the same in every language).
# Another package manager (the updates a desktop runs after booting) may hold apt's lock for
# a while: apt-get install waits for it with DPkg::Lock::Timeout, apt-get update does not,
# so its list update is tried again while the lock is what stops it.
apt=("${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive LC_ALL=C apt-get -o DPkg::Lock::Timeout=300)
retry_s=${QUARVEL_SETUP_RETRY_S:-5}
gave_up() {
  echo "Could not install: ${missing[*]}. If another package manager is busy, run" \
    "$0 again once it is done." >&2
  exit 1
}
for try in $(seq 60); do
  if err=$("${apt[@]}" update -qq 2>&1); then break; fi
  printf '%s\n' "$err" >&2
  if ! grep -q 'Could not get lock' <<<"$err" || [ "$try" -eq 60 ]; then gave_up; fi
  echo "Waiting for another package manager to finish..." >&2
  sleep "$retry_s"
done
"${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}" || gave_up
