#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the panel if needed and starts it on the simulated board. Arguments go to the
# program (--no-device, --status CALL=N).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target QuarvelSDR-sim
exec build/default/src/ui/QuarvelSDR-sim "$@"
