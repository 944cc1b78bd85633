#!/usr/bin/env bash
# Screenshots of each tab with live values from the simulated BMS, for the user guide.
# Offscreen; writes docs/screenshots/tab1.png ... tab4.png. Usage: docs/make_screenshots.sh
set -euo pipefail
source "$(dirname "$0")/../bench/bench_lib.sh"
bench_build_tools
work="$(mktemp -d)"
trap 'stop_pid "${sim_pid:-}"; rm -rf "$work"' EXIT
start_sim "$work"
out="$bench_root/docs/screenshots"
mkdir -p "$out"
for tab in 1 2 3 4; do
  QT_QPA_PLATFORM=offscreen "$orlo_pc" --port "COM1=$work/bms" --open COM1 --tab "$tab" \
    --screenshot "$out/tab$tab.png" --screenshot-delay 4.5 --quit-after 5 >/dev/null
  echo "wrote $out/tab$tab.png"
done
