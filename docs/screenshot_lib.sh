# shellcheck shell=bash
# Steps of docs/make_screenshots.sh (sourced, not run). Expects bench_lib.sh, $work and $out.

pids=()

# Ends the tools and simulators started so far (the X server stays for the next step).
stop_all() {
  local pid
  for pid in "${pids[@]}"; do stop_pid "$pid"; done
  pids=()
}

# run_sim NAME OPTIONS...: a simulator of its own in $work/NAME; its link is $work/NAME/bms.
run_sim() {
  local dir="$work/$1"
  shift
  mkdir -p "$dir"
  start_sim "$dir" "$@"
  pids+=("$sim_pid")
}

take_tabs() {
  run_sim tabs
  local tab
  for tab in 1 2 3 4; do
    env "$(orlo_settings "$work")" QT_QPA_PLATFORM=offscreen "$orlo_pc" --port "COM1=$work/tabs/bms" --open COM1 --tab "$tab" \
      --screenshot "$out/tab$tab.png" --screenshot-delay 4.5 --quit-after 5 >/dev/null
    echo "wrote $out/tab$tab.png"
  done
  stop_all
}

# take_e2e PAGE TEST FILE: the end-to-end test TEST of tests/e2e/PAGE_page_test.cpp saves FILE
# at the moment it shows the page as wanted.
take_e2e() {
  local dir="$work/e2e-$1"
  mkdir -p "$dir"
  QT_QPA_PLATFORM=offscreen ORLO_SCREENSHOT_DIR="$dir" ORLO_BIN_DIR="$bench_build" \
    ORLO_RESOURCE_DIR="$bench_root/resources" "$bench_build/tests/e2e_$1_page_test" \
    --gtest_filter="$2" >"$dir/test.log" 2>&1 || {
    cat "$dir/test.log" >&2
    return 1
  }
  cp "$dir/$3" "$out/$3"
  echo "wrote $out/$3"
}

# A virtual X server wide enough for the main window, Trends and Traffic side by side, so that
# no window hides part of another when it is captured.
start_display() {
  local n=90
  while [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 3800x1000x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do
    xdpyinfo >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "Xvfb did not come up:" >&2
  cat "$work/xvfb.log" >&2
  return 1
}

# start_tool SIMNAME TAB: Orlo_PC on the display, COM1 open on that simulator; sets tool_win.
start_tool() {
  env "$(orlo_settings "$work")" QT_QPA_PLATFORM=xcb "$orlo_pc" --port "COM1=$work/$1/bms" --open COM1 --tab "$2" >"$work/tool.log" 2>&1 &
  tool_pid=$!
  pids+=("$tool_pid")
  tool_win="$(window_of "$tool_pid" "$main_caption")" || {
    cat "$work/tool.log" >&2
    return 1
  }
  xdotool windowfocus --sync "$tool_win"
}

# window_of PID TITLE: the id of PID's visible window with that exact title, once it is mapped.
window_of() {
  local id
  for _ in $(seq 100); do
    id="$(xdotool search --all --onlyvisible --pid "$1" --name "^$2\$" 2>/dev/null | head -1)" || true
    [ -n "$id" ] && {
      echo "$id"
      return 0
    }
    sleep 0.1
  done
  echo "no window '$2' appeared" >&2
  return 1
}

main_caption="$(awk -F'|' '$1 ~ /^window/ { gsub(/^ +| +$/, "", $5); print $5; exit }' \
  "$bench_root/resources/layouts/main.layout")"

# click WINDOW X Y: a left click at X,Y inside WINDOW.
click() {
  xdotool mousemove --window "$1" "$2" "$3" click 1
  sleep 0.3
}

# capture WINDOW FILE: the window as it is on the screen, cut from the whole screen (asking X
# for the window alone gave another window's pixels after a move).
capture() {
  local geometry
  geometry="$(xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
    /Width:/ { w = $NF } /Height:/ { h = $NF } END { printf "%dx%d+%d+%d", w, h, x, y }')"
  import -window root -crop "$geometry" +repage "$out/$2"
  echo "wrote $out/$2"
}

# has_text IMAGE GEOMETRY: true when that part of the picture holds dark (text) pixels.
has_text() {
  local darkest
  darkest="$(convert "$1" -crop "$2" +repage -colorspace Gray -format '%[fx:minima]' info:)"
  awk -v d="$darkest" 'BEGIN { exit !(d < 0.4) }'
}

# Where the Balance Test tab's buttons sit in the main window, as laid out by
# resources/layouts/balance_test.layout (and main.layout around it). Retake the positions
# from a picture after moving any of these controls.
readonly kEnterManualBalance=(293 566)
readonly kManualCell2=(293 646)
readonly kBalanceRead=(345 425)
readonly kBalanceStatus=500x16+14+217 # the status line above "Balance Condition"

# The simulator's own balance condition after a Read, with cell 2 balanced by hand: entered,
# cell 2 pressed, two polls for its lamp to light, then Read so that "Read successful!" shows.
take_balance() {
  run_sim balance
  start_tool balance 2
  sleep 2.5
  click "$tool_win" "${kEnterManualBalance[@]}"
  click "$tool_win" "${kManualCell2[@]}"
  sleep 2.5
  # The page's 2 s timer clears "Read successful!" at a moment we cannot see: keep the first
  # picture with text on the status line, and read again if the timer was quicker.
  for _ in 1 2 3; do
    click "$tool_win" "${kBalanceRead[@]}"
    for _ in $(seq 8); do
      capture "$tool_win" balance_manual.png >/dev/null
      has_text "$out/balance_manual.png" "$kBalanceStatus" && break 2
      sleep 0.1
    done
  done
  has_text "$out/balance_manual.png" "$kBalanceStatus" || echo "balance_manual.png: no status text" >&2
  echo "wrote $out/balance_manual.png"
  stop_all
}

# Trends and Traffic after a minute (the Trends' default span) of a line that now and then
# corrupts a frame or sends stray bytes, with a few seconds of silence near the end, so that
# the trends show a gap and the last screen of traffic shows polls left unanswered.
take_diagnostics() {
  run_sim diagnostics --corrupt 0.1 --garbage 0.1 --seed 7
  start_tool diagnostics 1
  open_view_window t
  trends_win="$(window_of "$tool_pid" Trends)"
  open_view_window r
  traffic_win="$(window_of "$tool_pid" Traffic)"
  xdotool windowmove --sync "$trends_win" 1460 0
  xdotool windowmove --sync "$traffic_win" 2440 0
  sleep 42
  kill -USR1 "$sim_pid"
  sleep 5
  kill -USR1 "$sim_pid"
  sleep 11
  capture "$trends_win" trends.png
  capture "$traffic_win" traffic.png
  stop_all
}

# open_view_window KEY: the View menu's entry with that mnemonic.
open_view_window() {
  xdotool windowfocus --sync "$tool_win"
  xdotool key --clearmodifiers alt+v
  sleep 0.3
  xdotool key "$1"
  sleep 0.5
}
