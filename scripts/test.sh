#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The whole test suite: set-up, a normal build with every test, an ASan+UBSan build with every
# test but the x11 tier (see CMakePresets.json), then the library's fuzz targets (clang) with a
# bounded run each.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
for preset in default asan fuzz; do
  echo "== $preset =="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
done
