#!/usr/bin/env bash
# Retakes every picture the user guide links, from the real Orlo_PC against orlo-bms-sim:
#   tab1.png ... tab4.png      each tab with live values (offscreen, --screenshot)
#   alarm_read.png             Alarm Parameter after a Read        (end-to-end test)
#   calibration_point.png      Current-Calibration after START and a point (end-to-end test)
#   parameters_review.png, parameters_result.png   Write with Review before and after Confirm
#   balance_manual.png         Balance Test after a Read, cell 2 balanced by hand
#   trends.png, traffic.png    the View windows after a minute of a noisy line
#   log_day.png, log_compare.png   the recorded log window: a day's log with its summary and
#                              events, and two runs compared (Orlo_PC --open-log, on Xvfb)
# The last three need real clicks: they run on a virtual X server (Xvfb) driven by xdotool
# and are captured with ImageMagick's import.
# Usage: docs/make_screenshots.sh   (BENCH_BUILD_DIR picks the build directory)
set -euo pipefail
source "$(dirname "$0")/../bench/bench_lib.sh"
source "$(dirname "$0")/screenshot_lib.sh"

for tool in Xvfb xdotool xdpyinfo xwininfo import convert; do
  command -v "$tool" >/dev/null || {
    echo "make_screenshots: $tool is missing (apt-get install xvfb xdotool x11-utils imagemagick)" >&2
    exit 1
  }
done
bench_build_tools
cmake --build "$bench_build" --target e2e_alarm_page_test e2e_calibration_page_test \
  e2e_parameters_review_test e2e_station_window_test >/dev/null

work="$(mktemp -d)"
out="$bench_root/docs/screenshots"
mkdir -p "$out"
trap 'stop_all; stop_pid "${xvfb_pid:-}"; rm -rf "$work"' EXIT

# Runs the end-to-end test program TEST with its screenshots going to $work/SUBDIR, then copies
# the named pictures into docs/screenshots.
take_from_test() {
  local test=$1 subdir=$2 name
  shift 2
  local dir="$work/$subdir"
  mkdir -p "$dir"
  QT_QPA_PLATFORM=offscreen ORLO_SCREENSHOT_DIR="$dir" ORLO_BIN_DIR="$bench_build" \
    ORLO_RESOURCE_DIR="$bench_root/resources" "$bench_build/tests/$test" >"$dir/test.log" 2>&1 || {
    cat "$dir/test.log" >&2
    return 1
  }
  for name in "$@"; do
    cp "$dir/$name" "$out/$name"
    echo "wrote $out/$name"
  done
}

# The review dialog before and after Confirm, from the end-to-end reviewed write.
take_review() {
  take_from_test e2e_parameters_review_test e2e-parameters parameters_review.png parameters_result.png
}

# A generated day's log (and a second one, 90 minutes later in its cycle), with a day's events.
take_logs() {
  local dir="$work/logs" day
  mkdir -p "$dir/data/Orlo_PC"
  /usr/bin/python3 "$bench_root/bench/log/make_log.py" "$dir/day.csv" 1
  /usr/bin/python3 "$bench_root/bench/log/make_log.py" "$dir/second.csv" 1 1.5
  touch -d "today 23:59:59" "$dir/day.csv" "$dir/second.csv"
  day=$(date +%F)
  printf 'time,kind,event\r\n%sT03:00:10+01:00,alarm,Cell OV on\r\n%sT09:30:00+01:00,mos,charge MOSFET off\r\n%sT12:00:00+01:00,mode,CHG_MODE\r\n' \
    "$day" "$day" "$day" >"$dir/data/Orlo_PC/events-$day.csv"
  env "$(orlo_settings "$dir")" XDG_DATA_HOME="$dir/data" "$orlo_pc" --open-log "$dir/day.csv" \
    --screenshot "$out/log_day.png" --screenshot-delay 1 --quit-after 8
  env "$(orlo_settings "$dir")" XDG_DATA_HOME="$dir/data" "$orlo_pc" --open-log "$dir/day.csv" "$dir/second.csv" \
    --screenshot "$out/log_compare.png" --screenshot-delay 1 --quit-after 8
  echo "wrote $out/log_day.png $out/log_compare.png"
}

# The station window after a board passed, from its end-to-end run.
take_station() {
  take_from_test e2e_station_window_test e2e-station station_window.png
}

take_tabs
take_e2e alarm AlarmEndToEnd.readFillsEveryBoxWithTheBoardsValuesAndTheStatusClearsOnTheNextTick alarm_read.png
take_e2e calibration CalibrationEndToEnd.aPointTakenDuringARunFinishesAndReadsBack calibration_point.png
take_review
take_station
start_display
take_balance
take_diagnostics
take_logs
