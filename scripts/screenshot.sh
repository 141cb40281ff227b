#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes docs/panel.png: the panel on the simulated board with its bus monitor beside it,
# started under a virtual X server (Xvfb, 96 dpi) and captured once both windows are up.
# Not part of the test suite.
set -euo pipefail
cd "$(dirname "$0")/.."

# The build tools, Xvfb, ImageMagick and xwininfo are all among the project's packages.
./scripts/setup.sh

build_dir=${BUILD_DIR:-build/default}
if [ ! -x "$build_dir/src/ui/QuarvelSDR-sim" ]; then
  cmake --preset default >/dev/null
  cmake --build --preset default -j "$(nproc)" --target QuarvelSDR-sim
fi
mkdir -p docs

# There is no window manager: the capture is the screen, trimmed to the two windows.
export PANEL="$build_dir/src/ui/QuarvelSDR-sim"
xvfb-run -a -s "-screen 0 1600x900x24 -dpi 96" bash -c '
  set -euo pipefail
  unset QT_QPA_PLATFORM
  "$PANEL" >/dev/null &
  pid=$!
  trap "kill $pid 2>/dev/null || true" EXIT
  for _ in $(seq 100); do
    xwininfo -root -tree 2>/dev/null | grep -q "\"Bus monitor\"" && break
    sleep 0.1
  done
  xwininfo -root -tree | grep -q "\"Quarvel SDR Tuning\"" || { echo "no window" >&2; exit 1; }
  sleep 1  # let the first paint finish
  import -window root -trim +repage docs/panel.png
'
echo "docs/panel.png written"
