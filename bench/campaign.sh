#!/usr/bin/env bash
# Figures of the headless campaign (release build, nothing changed on the machine): 8 simulated
# receivers at 115200 baud, 10 epochs a second, each with its own zenithprobe-campaign of cold
# starts, for SECONDS. Prints each campaign process's CPU share of one core and the timing error
# of every run against the simulator's truth (measured TTFF - (fix epoch - loss epoch)): median
# and largest magnitude. Prints only; asserts nothing.
# Usage: bench/campaign.sh [SECONDS]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
secs=${1:-60}
receivers=8

scripts/build release zenithprobe-sim zenithprobe-campaign >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/zp-campaign-bench.XXXXXX")
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/ports"
export ZENITHPROBE_PORTS="$work/ports" ZENITHPROBE_HOME="$work" ZENITHPROBE_NO_CLOCK=1

for i in $(seq "$receivers"); do
  build/bin/zenithprobe-sim --ports-dir "$work/ports" --port "COM$i" --baud 115200 --rate-hz 10 \
    --seed "$i" --ttff-cold 2-4 --truth "$work/truth$i.jsonl" >/dev/null 2>&1 &
  pids+=($!)
done
for i in $(seq "$receivers"); do
  for _ in $(seq 100); do [[ -L $work/ports/COM$i ]] && break; sleep 0.1; done
done

campaigns=()
for i in $(seq "$receivers"); do
  mkdir -p "$work/out$i"
  build/bin/zenithprobe-campaign --port "COM$i" --baud 115200 --kind cold --runs 1000 \
    --settle 1 --out "$work/out$i" >"$work/campaign$i.out" 2>&1 &
  campaigns+=($!)
  pids+=($!)
done
sleep "$secs"

tick=$(getconf CLK_TCK)
echo "== $receivers campaigns, 115200 baud, 10 epochs/s, $secs s"
for i in $(seq "$receivers"); do
  p=${campaigns[$((i - 1))]}
  # utime + stime (fields 14, 15) after the command name, which has no spaces here.
  read -r -a stat </proc/"$p"/stat
  cpu=$(( stat[13] + stat[14] ))
  kill -INT "$p"
  wait "$p" 2>/dev/null || true
  runs=$(( $(wc -l <"$(ls "$work/out$i"/*.csv)") - 1 ))
  awk -v c="$cpu" -v t="$tick" -v s="$secs" -v i="$i" -v r="$runs" \
    'BEGIN { printf "campaign %d: CPU %.2f%% of one core, %d runs\n", i, 100 * c / t / s, r }'
done

# The k-th row of each record against the k-th restart of its simulator's truth.
for i in $(seq "$receivers"); do
  awk -F'[:,}]' '{ for (f = 1; f < NF; f++) { if ($f == "\"loss_s\"") l = $(f + 1);
                                                if ($f == "\"fix_s\"") x = $(f + 1) }
                   if (x != "null") print (x - l) * 1000 }' "$work/truth$i.jsonl" >"$work/t$i"
  awk -F, 'NR > 1 && $6 != "" { print $6 }' "$work/out$i"/*.csv >"$work/m$i"
  paste "$work/m$i" "$work/t$i" | awk 'NF == 2 { e = $1 - $2; print (e < 0 ? -e : e) }'
done | sort -g | awk '{ v[NR] = $1 } END {
  if (NR == 0) { print "no runs"; exit }
  m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
  printf "timing error against the truth over %d runs: median %.1f ms, max %.1f ms\n", NR, m, v[NR] }'
