#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a program under umockdev's preload, which redirects /sys and /dev to the emulated USB
# testbed. The preload comes before an AddressSanitizer runtime, which ASan accepts only with
# verify_asan_link_order=0 (added to whatever ASAN_OPTIONS the caller set).
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"
export ASAN_OPTIONS
exec umockdev-wrapper "$@"
