#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Measures the panel's performance figures on this machine and prints each one with its target
# and the ratio measured / target (below 1 is within the target). Not part of the test command.
#
#   ./scripts/measure.sh
#
# Builds what is missing first (preset "default", or the build folder in QUARVEL_BUILD_DIR).
# Figures:
#   - start to window shown: QuarvelSDR-sim on Qt's offscreen platform, timed as a whole
#     process, median of 10 runs after one unmeasured warm-up run. QUARVEL_EXIT_WHEN_SHOWN=1
#     makes the program quit as soon as the panel has painted for the first time; without it
#     (the default) the variable does nothing.
#   - an upload's wall time: "upload RAM" through the window with the real 200 ms pauses
#     (bench_window, 3 uploads, mean).
#   - resident memory of the running panel: VmRSS of QuarvelSDR-sim (offscreen, bus monitor
#     included) 2 s after start, median of 3 runs.
#   - the benchmark programs bench_waveform, bench_window and bench_monitor: median of 5
#     repetitions each. "measured" is the wall time; the CPU time is shown beside it, so that
#     a machine busy with other work shows up as a gap between the two.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${QUARVEL_BUILD_DIR:-build/default}
./scripts/setup.sh
if [ "$build" = build/default ]; then
  cmake --preset default >/dev/null
else
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target QuarvelSDR-sim bench_waveform bench_window \
  bench_monitor >/dev/null

export QT_QPA_PLATFORM=offscreen
sim="$build/src/ui/QuarvelSDR-sim"
bench="$build/bench"

# Median of numbers, one per line.
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# A time in nanoseconds, in the unit that suits it.
human_ns() {
  awk -v t="$1" 'BEGIN {
    if (t < 1e3) printf "%.0f ns", t; else if (t < 1e6) printf "%.1f us", t / 1e3;
    else if (t < 1e9) printf "%.1f ms", t / 1e6; else printf "%.3f s", t / 1e9 }'
}

rows=()
# row NAME MEASURED_TEXT TARGET_TEXT RATIO [NOTE]
row() { rows+=("$(printf '%-46s %-13s %-10s %-6s %s' "$1" "$2" "$3" "$4" "${5:-}")"); }
ratio() { awk -v m="$1" -v t="$2" 'BEGIN { r = m / t; printf (r < 0.1 ? "%.2g" : "%.2f"), r }'; }
timed_row() {  # NAME MEASURED_NS TARGET_NS [NOTE]
  if [ -n "$3" ]; then
    row "$1" "$(human_ns "$2")" "$(human_ns "$3")" "$(ratio "$2" "$3")" "${4:-}"
  else
    row "$1" "$(human_ns "$2")" "-" "-" "${4:-}"
  fi
}

# (a) Start to window shown.
start_us() {
  local t0 t1
  t0=$(date +%s%N)
  if ! QUARVEL_EXIT_WHEN_SHOWN=1 timeout 20 "$sim" >/dev/null 2>&1; then
    echo "QuarvelSDR-sim did not quit after showing its window" >&2
    exit 1
  fi
  t1=$(date +%s%N)
  echo $(((t1 - t0) / 1000))
}
start_us >/dev/null  # warm-up: libraries and fonts into the page cache
startup_us=$(for _ in $(seq 10); do start_us; done | median)
timed_row "start to window shown (median of 10)" "$(awk -v u="$startup_us" 'BEGIN{print u*1000}')" 150e6

# (c) Resident memory of the running panel.
rss_kb() {
  local pid kb
  "$sim" >/dev/null 2>&1 &
  pid=$!
  sleep 2
  kb=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status")
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  echo "$kb"
}
rss=$(for _ in 1 2 3; do rss_kb; done | median)
row "resident memory of the running panel" "$(awk -v k="$rss" 'BEGIN { printf "%.1f MB", k / 1024 }')" \
  "40 MB" "$(ratio "$rss" $((40 * 1024)))" "VmRSS, bus monitor open"

# Runs one benchmark program; prints "name real_ns cpu_ns" per benchmark (median rows when
# repeated, the plain rows otherwise).
bench_csv() {
  "$@" --benchmark_format=csv 2>/dev/null | awk -F, '
    NR == 1 { for (i = 1; i <= NF; i++) col[$i] = i; next }
    {
      name = $col["name"]; gsub(/"/, "", name)
      if ($col["error_occurred"] == "true") { print name, "error", "error"; next }
      if (name ~ /_(mean|stddev|cv)$/) next
      sub(/_median$/, "", name)
      sub(/\/.*/, "", name)  # "/iterations:3/real_time" and the like
      f = ($col["time_unit"] == "s") ? 1e9 : ($col["time_unit"] == "ms") ? 1e6 : ($col["time_unit"] == "us") ? 1e3 : 1
      print name, $col["real_time"] * f, $col["cpu_time"] * f
    }'
}
repeat=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true)

declare -A real cpu
while read -r name r c; do
  real[$name]=$r
  cpu[$name]=$c
done < <(
  bench_csv "$bench/bench_waveform" "${repeat[@]}"
  bench_csv "$bench/bench_window" "${repeat[@]}" --benchmark_filter=Tuning
  bench_csv "$bench/bench_window" --benchmark_filter=Upload
  [ -x "$bench/bench_monitor" ] && bench_csv "$bench/bench_monitor" "${repeat[@]}"
)

bench_row() {  # LABEL BENCHMARK TARGET_NS
  local r=${real[$2]:-missing} c=${cpu[$2]:-missing}
  if [ "$r" = missing ] || [ "$r" = error ]; then
    row "$1" "$r" "-" "-" "$2"
    return
  fi
  timed_row "$1" "$r" "${3:-}" "cpu $(human_ns "$c")"
}

# (b) An upload's wall time with the real pauses.
bench_row "upload, 16 pages with the real 200 ms pauses" BM_UploadThroughWindowRealPauses 3.25e9
# (d) The benchmarks.
bench_row "build a clock burst (10 ms pause replaced)" BM_BuildClockBurst 2e3
bench_row "decode a clock burst" BM_DecodeClockBurst 5e3
bench_row "build a level burst" BM_BuildLevelBurst
# The upload's own work has the 50 ms the target leaves beside the 16 x 200 ms of pauses.
bench_row "upload, 16 pages, pauses replaced" BM_UploadSixteenPages 50e6
bench_row "tuning event through the window: key" BM_TuningKeyThroughWindow 100e3
bench_row "tuning event through the window: thumb" BM_TuningThumbThroughWindow 100e3
bench_row "tuning key, then the repaint" BM_TuningKeyAndRepaint
bench_row "board model takes a clock burst" BM_BoardTakesClockBurst
bench_row "board model and bus monitor take it" BM_BoardAndMonitorTakeClockBurst

echo "Quarvel SDR Tuning on $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-46s %-13s %-10s %-6s %s\n' figure measured target ratio note
printf '%s\n' "${rows[@]}"

# --- The real edition on the emulated FT232R (the usb test tier's chip) ------------------------
# bench/real_edition_on_chip under umockdev's preload: our FtdiDriver, libftdi1 and libusb,
# unchanged, with the chip emulated behind usbfs.
#   - start to window shown: the whole process, timed as for QuarvelSDR-sim (median of 10 after
#     one warm-up); it runs the edition exactly as the program's main does and quits at its first
#     paint. The emulation's own set-up (testbed and device, printed by the launcher) is part of
#     the process and shown beside it.
#   - one tuning event end to end: a key on the tuning bar to the last byte on the chip (the
#     clock burst and, when the level changes, the level burst, each opening, configuring,
#     writing and closing the device), 10 ms pause replaced; median of 100 steps.
cmake --build "$build" -j "$(nproc)" --target real_edition_on_chip >/dev/null
onchip="$build/bench/real_edition_on_chip"
under_umockdev=tests/usb/under-umockdev.sh
chip_start_us() {
  local t0 t1 out
  t0=$(date +%s%N)
  if ! out=$(timeout 20 "$under_umockdev" "$onchip" 2>/dev/null); then
    echo "real_edition_on_chip did not quit after showing its window" >&2
    exit 1
  fi
  t1=$(date +%s%N)
  echo "$(((t1 - t0) / 1000)) $(echo "$out" | sed -n 's/^setup_ns=//p')"
}
chip_start_us >/dev/null  # warm-up
chip_runs=$(for _ in $(seq 10); do chip_start_us; done)
chip_startup_us=$(echo "$chip_runs" | awk '{ print $1 }' | median)
chip_setup_ns=$(echo "$chip_runs" | awk '{ print $2 }' | median)
chip_tuning_ns=$("$under_umockdev" "$onchip" --tuning-events 100 2>/dev/null |
  sed -n 's/^tuning_ns=//p')

rows=()
timed_row "real edition: start to window shown (median)" \
  "$(awk -v u="$chip_startup_us" 'BEGIN{print u*1000}')" 150e6 \
  "emulated chip; its set-up $(human_ns "$chip_setup_ns") of it"
timed_row "real edition: tuning event, key to chip" "${chip_tuning_ns:-0}" "" \
  "libftdi1+libusb, 10 ms pause replaced"
echo
echo "The real edition on the emulated FT232R (libftdi1 and libusb unchanged)"
printf '%-46s %-13s %-10s %-6s %s\n' figure measured target ratio note
printf '%s\n' "${rows[@]}"
