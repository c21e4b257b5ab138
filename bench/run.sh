#!/usr/bin/env bash
# Frame step against the yardstick: same flags, same size, one run. Each is run
# ROUNDS times, interleaved, and the best frames/s of each counts, since a
# shared machine only ever makes a run slower.
# Usage: bench/run.sh [FRAMES (100000)] [WIDTHxHEIGHT (1920x1080)]   (after: cmake --workflow --preset default)
set -eu
frames=${1:-100000}
size=${2:-1920x1080}
rounds=${ROUNDS:-5}
build=${BUILD:-build/default}
w=${size%x*} h=${size#*x}
rate() { sed -n 's/.*: \([0-9.]*\) frames\/s.*/\1/p' | head -1; }
best_ours=0 best_ref=0 ratios=""
for _ in $(seq "$rounds"); do
  ours=$("$build/bench/squarefield_bench" "$frames" "$w" "$h")
  echo "squarefield: $ours"
  r=$(echo "$ours" | rate)
  best_ours=$(awk -v a="$best_ours" -v b="$r" 'BEGIN { print (b > a ? b : a) }')
  if [ -x "$build/bench/ref_frame" ]; then
    ref=$("$build/bench/ref_frame" "$frames" "$w" "$h")
    echo "yardstick:   $ref"
    r2=$(echo "$ref" | rate)
    best_ref=$(awk -v a="$best_ref" -v b="$r2" 'BEGIN { print (b > a ? b : a) }')
    ratios="$ratios $(awk -v a="$r" -v b="$r2" 'BEGIN { print a / b }')"
  fi
done
echo "best: squarefield $best_ours frames/s, yardstick $best_ref frames/s"
[ "$best_ref" = 0 ] && exit 0
awk -v a="$best_ours" -v b="$best_ref" 'BEGIN { printf "ratio of the best: %.3f of the yardstick'"'"'s frames/s\n", a / b }'
# Each round's pair ran back to back, so its ratio cancels the slow spells.
echo "$ratios" | tr ' ' '\n' | grep . | sort -g |
  awk '{ v[NR] = $1 } END { printf "median of %d paired ratios: %.3f\n", NR, (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
