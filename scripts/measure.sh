#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Measures the panel's performance figures on this machine and prints each one with its target
# and the ratio measured / target (below 1 is within the target). Not part of the test command.
#
#   ./scripts/measure.sh
#
# Builds what is missing first (preset "default", or the build folder in QUARVEL_BUILD_DIR).
# Figures:
#   - start to window shown: QuarvelSDR-sim on Qt's offscreen platform, from its start to the
#     moment the panel had painted for the first time, median of 10 runs after one unmeasured
#     warm-up run. QUARVEL_EXIT_WHEN_SHOWN=1 makes the program quit at that moment, after
#     writing the time to the file QUARVEL_SHOWN_AT_FILE names; without it (the default) the
#     variables do nothing.
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
  bench_monitor floor_window panel_widgets >/dev/null

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

# ---- Start-up against the floor ------------------------------------------------------------
# The floor is bench/floor_window, the least Qt Widgets program: one titled QWidget, shown.
# against_floor starts it and a program of ours alternately (floor first, after one unmeasured
# warm-up start of each), under one Xvfb and on Qt's offscreen platform, and adds to the table
# the ratio program / floor of the medians for
#   - the time from start to window shown: until the moment each says its main window has
#     painted for the first time (QUARVEL_EXIT_WHEN_SHOWN=1 and QUARVEL_SHOWN_AT_FILE, see
#     src/ui/QuitWhenPainted.h), not until the process has ended: the floor, for one, reads
#     fontconfig's configuration on its way out;
#   - resident memory after start-up: VmRSS read from /proc QUARVEL_RSS_SETTLE_S seconds
#     (default 1) after the start, when both windows are up and idle. Same method for both;
#     when the command is a wrapper (env, umockdev-run …), the innermost process is read.
# QUARVEL_STARTUP_RUNS (default 7, no fewer) starts of each per figure. Every program here runs
# with a temporary HOME and XDG folders (what Qt saved or last visited elsewhere does not count,
# and nothing is written to the real HOME) and on a private session bus, as on a desktop
# (without one, Qt under X starts `dbus-launch --autolaunch`, which leaves a bus behind).
#
#   against_floor LABEL TIME_GOAL RSS_GOAL COMMAND...   e.g.
#   against_floor QuarvelSDR-sim 1.3 1.2 "$sim"         (an empty goal: the ratio is shown only)
startup_runs=${QUARVEL_STARTUP_RUNS:-7}
[ "$startup_runs" -ge 7 ] || startup_runs=7
rss_settle_s=${QUARVEL_RSS_SETTLE_S:-1}
floor="$build/bench/floor_window"

cleanups=()  # shell commands run on exit, last first
run_cleanups() {
  local i
  for ((i = ${#cleanups[@]} - 1; i >= 0; i--)); do eval "${cleanups[i]}" || true; done
}
trap run_cleanups EXIT

measure_home=$(mktemp -d)
cleanups+=("rm -rf '$measure_home'")
export HOME=$measure_home XDG_CONFIG_HOME=$measure_home/.config
export XDG_CACHE_HOME=$measure_home/.cache XDG_DATA_HOME=$measure_home/.local/share
export XDG_RUNTIME_DIR=$measure_home/runtime
mkdir -p "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# The bus stays a child of this script (no --fork), so that it is waited for when stopped.
dbus-daemon --session --nofork --nopidfile --print-address=1 >"$measure_home/bus" 2>/dev/null &
bus_pid=$!
cleanups+=("kill $bus_pid 2>/dev/null; wait $bus_pid 2>/dev/null")
for _ in $(seq 100); do
  [ -s "$measure_home/bus" ] && break
  sleep 0.05
done
DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$measure_home/bus")
[ -n "$DBUS_SESSION_BUS_ADDRESS" ] || { echo "no session bus could be started" >&2; exit 1; }
export DBUS_SESSION_BUS_ADDRESS

# Xvfb on a free display (others may run theirs at the same time); -noreset, or the server
# resets whenever its last client leaves and the next start fails to connect.
xvfb_display=
for n in $(seq 140 399); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 1600x1000x24 -dpi 96 -nolisten tcp -noreset >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    kill -0 "$xvfb_pid" 2>/dev/null || break  # another server took :$n first
    if DISPLAY=":$n" xdpyinfo >/dev/null 2>&1 && kill -0 "$xvfb_pid" 2>/dev/null; then
      xvfb_display=":$n"
      break
    fi
    sleep 0.05
  done
  if [ -n "$xvfb_display" ]; then
    cleanups+=("kill $xvfb_pid 2>/dev/null; wait $xvfb_pid 2>/dev/null")
    break
  fi
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
done
[ -n "$xvfb_display" ] || { echo "no Xvfb display could be started" >&2; exit 1; }

# on_platform PLATFORM COMMAND...: COMMAND on "xcb" (the Xvfb) or "offscreen".
on_platform() {
  local platform=$1 display=
  shift
  [ "$platform" = xcb ] && display=$xvfb_display
  QT_QPA_PLATFORM=$platform DISPLAY=$display "$@"
}

shown_at="$measure_home/shown-at"
# shown_since T0_NS WHAT: microseconds from T0_NS (date +%s%N) to the moment written in the file
# QUARVEL_SHOWN_AT_FILE named; the file is removed.
shown_since() {
  local t1
  t1=$(cat "$shown_at" 2>/dev/null || true)
  rm -f "$shown_at"
  if ! [[ "$t1" =~ ^[0-9]+$ ]]; then
    echo "$2 did not say when its window was shown" >&2
    exit 1
  fi
  echo $(((t1 - $1) / 1000))
}

# startup_shown_us PLATFORM COMMAND...: microseconds from start until the program has shown its
# window (it quits then).
startup_shown_us() {
  local platform=$1 t0
  shift
  rm -f "$shown_at"
  t0=$(date +%s%N)
  if ! QUARVEL_EXIT_WHEN_SHOWN=${exit_when_shown:-1} QUARVEL_SHOWN_AT_FILE=$shown_at \
    on_platform "$platform" timeout 20 "$@" >/dev/null 2>&1; then
    echo "$* ($platform) did not quit after showing its window" >&2
    exit 1
  fi
  shown_since "$t0" "$* ($platform)"
}

# leaf_of PID: the innermost process under PID (the program, below subshells and wrappers).
leaf_of() {
  local leaf=$1 child
  while child=$(cat /proc/"$leaf"/task/*/children 2>/dev/null | awk '{ print $1; exit }') &&
    [ -n "$child" ]; do
    leaf=$child
  done
  echo "$leaf"
}

# startup_rss_kb PLATFORM COMMAND...: VmRSS (kB) of the program once start-up is over.
startup_rss_kb() {
  local platform=$1 pid leaf kb=
  shift
  on_platform "$platform" "$@" >/dev/null 2>&1 &
  pid=$!
  sleep "$rss_settle_s"
  leaf=$(leaf_of "$pid")
  kb=$(awk '/^VmRSS:/ { print $2 }' "/proc/$leaf/status" 2>/dev/null || true)
  kill "$leaf" "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  if [ -z "$kb" ]; then
    echo "$* ($platform) ended before its memory was read" >&2
    exit 1
  fi
  echo "$kb"
}

# floor_row NAME PROGRAM FLOOR GOAL UNIT: the ratio program / floor against its goal.
floor_row() {
  local shown=$2 base=$3 r note
  r=$(awk -v a="$2" -v b="$3" 'BEGIN { printf "%.2f", a / b }')
  if [ "$5" = kB ]; then
    note=$(awk -v a="$2" -v b="$3" 'BEGIN { printf "%.1f MB vs floor %.1f MB", a / 1024, b / 1024 }')
  else
    note="$(human_ns $((shown * 1000))) vs ${floor_name:-floor} $(human_ns $((base * 1000)))"
  fi
  if [ -n "$4" ]; then
    row "$1" "${r}x" "<= ${4}x" "$(ratio "$r" "$4")" "$note"
  else
    row "$1" "${r}x" "-" "-" "$note"
  fi
}

# versus_floor LABEL GOAL UNIT MEASURE PLATFORM -- FLOOR... -- PROGRAM...: runs MEASURE
# (startup_shown_us or startup_rss_kb) on PLATFORM for the floor command and the program
# alternately, floor first, QUARVEL_STARTUP_RUNS times each, and adds the row of the medians'
# ratio.
versus_floor() {
  local label=$1 goal=$2 unit=$3 measure=$4 platform=$5 floor_cmd=() f=() p=()
  shift 6  # and the first --
  while [ "$1" != -- ]; do
    floor_cmd+=("$1")
    shift
  done
  shift
  for _ in $(seq "$startup_runs"); do
    f+=("$("$measure" "$platform" "${floor_cmd[@]}")")
    p+=("$("$measure" "$platform" "$@")")
  done
  floor_row "$label" "$(printf '%s\n' "${p[@]}" | median)" "$(printf '%s\n' "${f[@]}" | median)" \
    "$goal" "$unit"
}

against_floor() {
  local label=$1 time_goal=$2 rss_goal=$3 platform where
  shift 3
  for platform in xcb offscreen; do
    where=$([ "$platform" = xcb ] && echo "Xvfb" || echo "offscreen")
    startup_shown_us "$platform" "$floor" >/dev/null
    startup_shown_us "$platform" "$@" >/dev/null
    versus_floor "$label shown / floor, $where" "$time_goal" us startup_shown_us "$platform" \
      -- "$floor" -- "$@"
    versus_floor "$label resident / floor, $where" "$rss_goal" kB startup_rss_kb "$platform" \
      -- "$floor" -- "$@"
  done
}

# shown_all_against_floor LABEL COMMAND...: for information, on the Xvfb, the time until every
# window the program opens at start-up has painted (QUARVEL_EXIT_WHEN_SHOWN=2) against the floor.
shown_all_against_floor() {
  local label=$1 exit_when_shown=2  # seen by startup_shown_us
  shift
  startup_shown_us xcb "$@" >/dev/null
  versus_floor "$label all windows shown / floor, Xvfb" "" us startup_shown_us xcb \
    -- "$floor" -- "$@"
}

# window_sizes COMMAND...: "WxH WxH" of the panel and the bus monitor once the program is up on
# the Xvfb.
window_sizes() {
  local pid leaf title sizes=()
  on_platform xcb "$@" >/dev/null 2>&1 &
  pid=$!
  sleep "$rss_settle_s"
  leaf=$(leaf_of "$pid")
  for title in "Quarvel SDR Tuning" "Bus monitor"; do
    sizes+=("$(DISPLAY=$xvfb_display xwininfo -name "$title" 2>/dev/null |
      awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { if (w) print w "x" h }')")
  done
  kill "$leaf" "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  echo "${sizes[*]}"
}

# windows_like_against_floor LABEL COMMAND...: for information, on the Xvfb, the resident memory of
# the floor program showing plain windows of the program's sizes with one line of text each,
# against the floor: what the windows' pixels and the first text cost before any control.
windows_like_against_floor() {
  local label=$1 sizes
  shift
  sizes=$(window_sizes "$@")
  if [ "$(wc -w <<<"$sizes")" -ne 2 ]; then
    row "$label resident / floor" "-" "-" "-" "the program's two windows were not found"
    return
  fi
  # shellcheck disable=SC2086  # two sizes, two arguments
  versus_floor "$label $sizes resident / floor" "" kB startup_rss_kb xcb \
    -- "$floor" -- "$floor" $sizes
}

# failure_reason STATUS OUTPUT [timed]: why a program failed, in a few words: how it ended (a
# signal, the timeout when it ran under `timeout`, else its exit status), then the last line it
# wrote, if any (a crash writes nothing of its own).
failure_reason() {
  local how name
  if [ "$1" -eq 124 ] && [ "${3:-}" = timed ]; then
    how="did not end within 20 s"
  elif [ "$1" -gt 128 ] && name=$(kill -l "$(($1 - 128))" 2>/dev/null); then
    how="killed by SIG$name"
  else
    how="exit status $1"
  fi
  if [ -n "$2" ]; then
    echo "$how: ${2##*$'\n'}"
  else
    echo "$how"
  fi
}

# plain_copy_against_floor COMMAND...: for information, the time to shown of the least Qt
# program showing the panel's controls (`floor_window --widgets`, the window bench/panel_widgets
# writes down, with fontconfig's configuration loaded on a thread as the panel loads it) against
# the floor, and the program's against that copy: what Qt costs to show those controls, and what
# the program costs beyond it. The floor, the copy and the program are started in turn, so that
# the two ratios come from the same runs. Also the copy's resident memory.
plain_copy_against_floor() {
  local widgets="$measure_home/panel.widgets" copy platform where why f c p fm cm pm
  copy=("$floor" --widgets "$widgets")
  # The copy is checked once before it is timed: a description it cannot build would otherwise
  # stop the script with a message about quitting, and lose the figures measured so far.
  local status=0
  why=$("$bench/panel_widgets" 2>&1 >"$widgets") || status=$?
  if [ "$status" -ne 0 ]; then
    why="panel_widgets failed: $(failure_reason "$status" "$why")"
  elif ! [ -s "$widgets" ]; then
    why="panel_widgets wrote nothing"
  else
    why=$(QUARVEL_EXIT_WHEN_SHOWN=1 on_platform offscreen timeout 20 "${copy[@]}" 2>&1 \
      >/dev/null) || status=$?
    if [ "$status" -ne 0 ]; then
      why="floor_window --widgets failed: $(failure_reason "$status" "$why" timed)"
    else
      why=
    fi
  fi
  if [ -n "$why" ]; then
    row "plain copy of the panel" "-" "-" "-" "not measured: $why"
    return
  fi
  for platform in xcb offscreen; do
    where=$([ "$platform" = xcb ] && echo "Xvfb" || echo "offscreen")
    startup_shown_us "$platform" "$floor" >/dev/null
    startup_shown_us "$platform" "${copy[@]}" >/dev/null
    startup_shown_us "$platform" "$@" >/dev/null
    f=() c=() p=()
    for _ in $(seq "$startup_runs"); do
      f+=("$(startup_shown_us "$platform" "$floor")")
      c+=("$(startup_shown_us "$platform" "${copy[@]}")")
      p+=("$(startup_shown_us "$platform" "$@")")
    done
    fm=$(printf '%s\n' "${f[@]}" | median)
    cm=$(printf '%s\n' "${c[@]}" | median)
    pm=$(printf '%s\n' "${p[@]}" | median)
    floor_row "plain copy shown / floor, $where" "$cm" "$fm" "" us
    floor_name="plain copy" floor_row "$(basename "$1") shown / plain copy, $where" "$pm" "$cm" \
      "" us
  done
  # The panel's window alone: the program's figure counts the bus monitor's window too.
  versus_floor "plain copy resident / floor, Xvfb" "" kB startup_rss_kb xcb \
    -- "$floor" -- "${copy[@]}"
}

against_floor QuarvelSDR-sim 1.3 1.2 "$sim"
shown_all_against_floor QuarvelSDR-sim "$sim"
windows_like_against_floor floor_window "$sim"
plain_copy_against_floor "$sim"
# ---- End of start-up against the floor -----------------------------------------------------

# (a) Start to window shown.
start_us() {
  local t0
  rm -f "$shown_at"
  t0=$(date +%s%N)
  if ! QUARVEL_EXIT_WHEN_SHOWN=1 QUARVEL_SHOWN_AT_FILE=$shown_at timeout 20 "$sim" \
    >/dev/null 2>&1; then
    echo "QuarvelSDR-sim did not quit after showing its window" >&2
    exit 1
  fi
  shown_since "$t0" QuarvelSDR-sim
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
#   - start to window shown: timed as for QuarvelSDR-sim (median of 10 after one warm-up); it
#     runs the edition exactly as the program's main does and quits at its first paint. The
#     emulation's own set-up (testbed and device, printed by the launcher) is part of that time
#     and shown beside it.
#   - one tuning event end to end: a key on the tuning bar to the last byte on the chip (the
#     clock burst and, when the level changes, the level burst, each opening, configuring,
#     writing and closing the device), 10 ms pause replaced; median of 100 steps.
cmake --build "$build" -j "$(nproc)" --target real_edition_on_chip >/dev/null
onchip="$build/bench/real_edition_on_chip"
under_umockdev=tests/usb/under-umockdev.sh
chip_start_us() {
  local t0 out shown
  rm -f "$shown_at"
  t0=$(date +%s%N)
  if ! out=$(QUARVEL_SHOWN_AT_FILE=$shown_at timeout 20 "$under_umockdev" "$onchip" 2>/dev/null)
  then
    echo "real_edition_on_chip did not quit after showing its window" >&2
    exit 1
  fi
  shown=$(shown_since "$t0" real_edition_on_chip) || exit 1  # errexit is off in $(...)
  echo "$shown $(echo "$out" | sed -n 's/^setup_ns=//p')"
}
chip_start_us >/dev/null  # warm-up
chip_runs=$(for _ in $(seq 10); do chip_start_us; done)
chip_startup_us=$(echo "$chip_runs" | awk '{ print $1 }' | median)
chip_setup_ns=$(echo "$chip_runs" | awk '{ print $2 }' | median)
chip_tuning_ns=$("$under_umockdev" "$onchip" --tuning-events 100 2>/dev/null |
  sed -n 's/^tuning_ns=//p')

# The real edition's start against the floor, alternately on the Xvfb (time only: the launcher
# quits once its window is shown). The floor is the same launcher with --floor: the same
# libraries, the same preload and the same emulated chip set up, then the least Qt window
# instead of the edition; so the ratio counts what the edition costs, not the emulation. For
# information, also against bench/floor_window under the preload alone (no chip set up).
rows=()
startup_shown_us xcb "$under_umockdev" "$onchip" --floor >/dev/null
versus_floor "real edition shown / floor on the same chip, Xvfb" 1.15 us startup_shown_us xcb \
  -- "$under_umockdev" "$onchip" --floor -- "$under_umockdev" "$onchip"
versus_floor "real edition shown / floor_window, preloaded" "" us startup_shown_us xcb \
  -- "$under_umockdev" "$floor" -- "$under_umockdev" "$onchip"
timed_row "real edition: start to window shown (median)" \
  "$(awk -v u="$chip_startup_us" 'BEGIN{print u*1000}')" 150e6 \
  "emulated chip; its set-up $(human_ns "$chip_setup_ns") of it"
timed_row "real edition: tuning event, key to chip" "${chip_tuning_ns:-0}" "" \
  "libftdi1+libusb, 10 ms pause replaced"
echo
echo "The real edition on the emulated FT232R (libftdi1 and libusb unchanged)"
printf '%-46s %-13s %-10s %-6s %s\n' figure measured target ratio note
printf '%s\n' "${rows[@]}"
