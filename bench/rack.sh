#!/usr/bin/env bash
# Figures of the rack (release build, nothing changed on the machine): 64 simulated receivers
# from one simulator process (--count) at 115200 baud, 10 epochs a second, under one
# `zenithprobe-campaign --ports all` of cold starts for SECONDS, and beside it one receiver alone
# under its own single campaign. Prints the rack process's CPU share of one core (in all and per
# receiver), its peak memory, and the timing error of every run against its simulator's truth
# (measured TTFF - (fix epoch - loss epoch)) for the rack and for the receiver alone: median and
# largest magnitude. Prints only; asserts nothing.
# Usage: bench/rack.sh [SECONDS] [RECEIVERS]   (default 120 64)
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-120}
receivers=${2:-64}

scripts/build release zenithprobe-sim zenithprobe-campaign >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/zp-rack-bench.XXXXXX")
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/ports" "$work/rack" "$work/solo"
export ZENITHPROBE_PORTS="$work/ports" ZENITHPROBE_HOME="$work" ZENITHPROBE_NO_CLOCK=1

build/bin/zenithprobe-sim --ports-dir "$work/ports" --count "$receivers" --baud 115200 \
  --rate-hz 10 --seed 1 --ttff-cold 2-4 --truth "$work/truth" >/dev/null 2>&1 &
pids+=($!)
build/bin/zenithprobe-sim --ports-dir "$work/ports" --port SOLO --baud 115200 --rate-hz 10 \
  --seed 1000 --ttff-cold 2-4 --truth "$work/truth.solo" >/dev/null 2>&1 &
pids+=($!)
for name in "COM$receivers" SOLO; do
  for _ in $(seq 100); do [[ -L $work/ports/$name ]] && break; sleep 0.1; done
done

build/bin/zenithprobe-campaign --ports all --baud 115200 --kind cold --runs 1000 --settle 1 \
  --out "$work/rack" >"$work/rack.out" 2>&1 &
rack=$!
pids+=($!)
build/bin/zenithprobe-campaign --port SOLO --baud 115200 --kind cold --runs 1000 --settle 1 \
  --out "$work/solo" >"$work/solo.out" 2>&1 &
solo=$!
pids+=($!)
sleep "$secs"

tick=$(getconf CLK_TCK)
# utime + stime (fields 14, 15) after the command name, which has no spaces here.
read -r -a stat </proc/"$rack"/stat
cpu=$(( stat[13] + stat[14] ))
peak=$(awk '/^VmHWM/ { print $2 }' /proc/"$rack"/status)
kill -INT "$rack" "$solo"
wait "$rack" 2>/dev/null || true
wait "$solo" 2>/dev/null || true
echo "== $receivers receivers in one rack, 115200 baud, 10 epochs/s, $secs s"
awk -v c="$cpu" -v t="$tick" -v s="$secs" -v n="$receivers" -v m="$peak" 'BEGIN {
  printf "rack CPU %.2f%% of one core, %.3f%% per receiver; peak memory %.1f MB\n",
         100 * c / t / s, 100 * c / t / s / n, m / 1024 }'

# The k-th row of a record against the k-th restart of its simulator's truth: |error| in ms.
errors() { # truth csv
  awk -F'[:,}]' '{ for (f = 1; f < NF; f++) { if ($f == "\"loss_s\"") l = $(f + 1);
                                                if ($f == "\"fix_s\"") x = $(f + 1) }
                   if (x != "null") print (x - l) * 1000 }' "$1" >"$work/t"
  awk -F, 'NR > 1 && $6 != "" { print $6 }' "$2" >"$work/m"
  paste "$work/m" "$work/t" | awk 'NF == 2 { e = $1 - $2; print (e < 0 ? -e : e) }'
}
summary() { # label
  sort -g | awk -v label="$1" '{ v[NR] = $1 } END {
    if (NR == 0) { print label ": no runs"; exit }
    m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    over = 0; for (i = 1; i <= NR; i++) over += v[i] > 25
    printf "%s: timing error over %d runs: median %.1f ms, p99 %.1f ms, max %.1f ms, %d over 25 ms\n",
           label, NR, m, v[int(0.99 * (NR - 1)) + 1], v[NR], over }'
}
for i in $(seq "$receivers"); do
  errors "$work/truth.$i" "$(ls "$work/rack/COM$i"/campaign_*.csv)"
done | summary "rack"
errors "$work/truth.solo" "$(ls "$work/solo"/campaign_*.csv)" | summary "alone"
echo "comparison: $(ls "$work/rack"/rack_*.csv | wc -l) file(s), $(( $(wc -l <"$(ls "$work/rack"/rack_*.csv)") - 1 )) rows"
