#!/usr/bin/env bash
# Figures of the main dialog (release build, under Xvfb, nothing changed on the machine):
#   1. the simulated receiver at 4800 baud (its own process) for SECONDS: the program's CPU time,
#      peak RSS and the time from start to the first shown sentence;
#   2. the simulated receiver at 38400 baud, 5 epochs per second, for SECONDS/2 (at least 20 s):
#      bytes drained per second against bytes sent, and the largest lag of the shown sentence
#      early and late in the run (it must not grow);
#   3. the simulated receiver at 115200 baud, 10 epochs per second (its own process), for
#      SECONDS/2 (at least 20 s): the program's CPU after start-up, GPS alone and then four
#      constellations in the multi-GNSS mode.
# Usage: bench/main_dialog.sh [SECONDS]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-60}
fast_secs=$(( secs / 2 > 20 ? secs / 2 : 20 ))

scripts/build release zenithprobe-sim bench_main_dialog >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/zp-bench.XXXXXX")
sim_pid=""
cleanup() {
  if [[ -n $sim_pid ]]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/ports" "$work/home4800" "$work/home38400" "$work/home115200" "$work/homegnss"
export ZENITHPROBE_PORTS="$work/ports"

echo "== 4800 baud, 1 epoch/s, ${secs} s (receiver in its own process)"
build/bin/zenithprobe-sim --ports-dir "$work/ports" --port COM1 --baud 4800 \
  >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 100); do [[ -L $work/ports/COM1 ]] && break; sleep 0.1; done
ZENITHPROBE_HOME="$work/home4800" xvfb-run -a build/bin/bench_main_dialog --quit-after "$secs"
kill "$sim_pid"
wait "$sim_pid" 2>/dev/null || true
sim_pid=""

echo "== 38400 baud, 5 epochs/s, ${fast_secs} s"
printf '[Zenithprobe]\r\nBAUD_RATE=38400\r\n' >"$work/home38400/Zenithprobe.ini"
ZENITHPROBE_HOME="$work/home38400" ZP_BENCH_SIM="38400:5" \
  xvfb-run -a build/bin/bench_main_dialog --quit-after "$fast_secs"

# A receiver at 115200 baud, 10 Hz, in its own process: what the program alone costs.
fast_receiver() {
  local home=$1 label=$2
  shift 2
  echo "== 115200 baud, 10 epochs/s, ${fast_secs} s, $label"
  build/bin/zenithprobe-sim --ports-dir "$work/ports" --port COM1 --baud 115200 --rate-hz 10 "$@" \
    >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  for _ in $(seq 100); do [[ -L $work/ports/COM1 ]] && break; sleep 0.1; done
  ZENITHPROBE_HOME="$home" xvfb-run -a build/bin/bench_main_dialog --quit-after "$fast_secs"
  kill "$sim_pid"
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=""
}
printf '[Zenithprobe]\r\nBAUD_RATE=115200\r\n' >"$work/home115200/Zenithprobe.ini"
fast_receiver "$work/home115200" "GPS"
printf '[Zenithprobe]\r\nBAUD_RATE=115200\r\nMULTI_GNSS=1\r\n' >"$work/homegnss/Zenithprobe.ini"
fast_receiver "$work/homegnss" "four constellations, multi-GNSS mode" \
  --constellations gps,glonass,galileo,beidou
