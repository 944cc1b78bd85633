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
