#!/usr/bin/env bash
# The floor under bench/cpu_share.sh: bench/bare_present (400 squares of 6x6
# sent to a window 60 times a second, nothing else) under Xvfb, 10 s after 2 s,
# sent one request a square and as one request with a clip list; the share of
# one core for it and for the X server.
# Usage: bench/cpu_floor.sh [SECONDS]   (after: cmake --workflow --preset default)
set -eu
seconds=${1:-10}
bin=${BUILD:-build/default}/bench/bare_present
[ -x "$bin" ] || { echo "no $bin (needs libx11-dev and libxext-dev)"; exit 0; }
source "$(dirname "$0")/../tests/lib.sh"
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
for size in 1920x1080 3840x2160; do
  start_xvfb "$size"
  for mode in 0 1; do
    "$bin" "$mode" "${size%x*}" "${size#*x}" $((seconds + 3)) &
    pid=$!
    sleep 2
    p0=$(ticks "$pid") x0=$(ticks "$xvfb")
    sleep "$seconds"
    p1=$(ticks "$pid") x1=$(ticks "$xvfb")
    wait "$pid"
    awk -v s="$size" -v m="$mode" -v p=$((p1 - p0)) -v x=$((x1 - x0)) -v hz="$hz" -v t="$seconds" 'BEGIN {
      printf "%s %s: program %.2f%%, X server %.2f%% of one core\n", s,
             m == 0 ? "a request a square" : "one request, clip list", 100 * p / hz / t, 100 * x / hz / t }'
  done
  stop_server "$xvfb"
done
