# Shared by bench/measure and bench/soak (sourced, not run): building, the simulator, and
# reading a process's CPU time and memory from /proc.

bench_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bench_build="${BENCH_BUILD_DIR:-$bench_root/build}"
orlo_pc="$bench_build/src/ui/Orlo_PC"
orlo_sim="$bench_build/src/sim/orlo-bms-sim"
clock_ticks="$(getconf CLK_TCK)"

bench_build_tools() {
  cmake -S "$bench_root" -B "$bench_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$bench_build" --target Orlo_PC orlo-bms-sim >/dev/null
}

# CPU seconds (user + system) a process has used so far.
cpu_seconds() {
  awk -v hz="$clock_ticks" '{ sub(/^.*\) /, ""); printf "%.3f\n", ($12 + $13) / hz }' "/proc/$1/stat"
}

# Orlo_PC remembers which windows were open, and where, in the user's settings. A run here starts
# from none, as a new user does (a Trends window left open by another run redraws every second),
# and leaves the user's own settings alone: put this before the command.
orlo_settings() { mkdir -p "$1/orlo-settings" && echo "XDG_CONFIG_HOME=$1/orlo-settings"; }

# Nanoseconds on a CPU so far, all threads together (the scheduler's own count; clock ticks
# are too coarse for a process that wakes a few times a second).
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ sum += $1 } END { printf "%.0f\n", sum }'; }

# Resident memory now, and its peak, in kB.
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
peak_rss_kb() { awk '/^VmHWM:/ { print $2 }' "/proc/$1/status"; }

# start_sim DIR OPTIONS...: the simulator on a pseudo-terminal linked at DIR/bms; sets sim_pid.
start_sim() {
  local dir=$1
  shift
  "$orlo_sim" --link "$dir/bms" --report "$dir/sim-report.txt" "$@" >"$dir/sim.log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 50); do
    [ -e "$dir/bms" ] && return 0
    sleep 0.1
  done
  echo "the simulator did not come up:" >&2
  cat "$dir/sim.log" >&2
  return 1
}

stop_pid() {
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# key=value lookup in a counters file.
counter() { awk -F= -v k="$2" '$1 == k { print $2 }' "$1"; }

# start_xvfb DIR: an X server without a screen on a free display number; sets xvfb_pid and
# exports DISPLAY.
start_xvfb() {
  local dir=$1
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    if [ -s "$dir/display" ]; then
      export DISPLAY=":$(head -n1 "$dir/display")"
      return 0
    fi
    sleep 0.1
  done
  echo "Xvfb did not come up:" >&2
  cat "$dir/xvfb.log" >&2
  return 1
}

# The far end of the line for a program that never asks (CuteCom): opens DEVICE before the
# program does (CuteCom takes the line for itself with TIOCEXCL), waits for the file GO, then
# writes the Poll request every second as Orlo_PC would and never reads, so every answer goes
# to the program. On SIGTERM it writes the polls it sent and the bytes left unread on the line
# to REPORT. Usage: line_poller DEVICE GO REPORT &
line_poller() {
  exec python3 -c '
import fcntl, os, signal, struct, sys, termios, time
device, go, report = sys.argv[1:4]
fd = os.open(device, os.O_RDWR | os.O_NOCTTY)
polls = 0
def finish(*_):
    unread = struct.unpack("i", fcntl.ioctl(fd, termios.FIONREAD, b"\0\0\0\0"))[0]
    with open(report, "w") as f:
        f.write(f"polls_sent={polls}\nunread_bytes={unread}\n")
    sys.exit(0)
signal.signal(signal.SIGTERM, finish)
while not os.path.exists(go):
    time.sleep(0.1)
poll = bytes.fromhex("AA55 0600 0000 0100 0100 55AA")
due = time.monotonic()
while True:
    os.write(fd, poll)
    polls += 1
    due += 1.0
    time.sleep(max(0.0, due - time.monotonic()))
' "$@"
}

# start_cutecom DIR DEVICE: CuteCom with its own settings under DIR, set to DEVICE at 38400 8N1
# without auto-reconnect (that closes a pseudo-terminal again: it is not among the serial ports
# the system lists), its Open pressed; sets cutecom_pid once CuteCom holds the line.
start_cutecom() {
  local dir=$1 device=$2 window
  mkdir -p "$dir/home/.config/CuteCom" "$dir/runtime"
  chmod 700 "$dir/runtime"
  printf '%s\n' '[sessions]' '1\BaudRate=38400' '1\DataBits=8' "1\\Device=$device" '1\FlowControl=0' \
    '1\OpenMode=3' '1\Parity=0' '1\StopBits=1' '1\autoReconnect=false' '1\name=Default' \
    '1\showCtrlCharacters=false' '1\showTimestamp=false' 'size=1' >"$dir/home/.config/CuteCom/CuteCom5.conf"
  HOME="$dir/home" XDG_CONFIG_HOME="$dir/home/.config" XDG_RUNTIME_DIR="$dir/runtime" \
    cutecom >"$dir/cutecom.log" 2>&1 &
  cutecom_pid=$!
  window=$(timeout 20 xdotool search --sync --onlyvisible --pid "$cutecom_pid" --name '^CuteCom' | head -n1)
  if [ -n "$window" ]; then
    for _ in $(seq 5); do
      xdotool windowfocus --sync "$window" key --window "$window" alt+o
      for _ in $(seq 20); do
        ls -l /proc/"$cutecom_pid"/fd 2>/dev/null | grep -q -- "-> $device\$" && return 0
        sleep 0.1
      done
    done
  fi
  echo "CuteCom did not open $device:" >&2
  cat "$dir/cutecom.log" >&2
  return 1
}
