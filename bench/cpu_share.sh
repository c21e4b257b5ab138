#!/usr/bin/env bash
# The share of one core a screensaver's pace costs: the program and the X
# server (Xvfb), --fps 60 for 10 s, at 1920x1080 and 3840x2160. Target: each
# at most 1.0 % of a core.
# Usage: bench/cpu_share.sh [SECONDS]   (after: cmake --workflow --preset default)
set -eu
seconds=${1:-10}
fps=${FPS:-60}
bin=${BUILD:-build/default}/squarefield
source "$(dirname "$0")/../tests/lib.sh"
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
for size in 1920x1080 3840x2160; do
  start_xvfb "$size"
  "$bin" --fps "$fps" &
  pid=$!
  keep_pid "$pid"
  sleep 2  # past the start and the first full-screen present
  p0=$(ticks "$pid"); x0=$(ticks "$xvfb")
  sleep "$seconds"
  p1=$(ticks "$pid"); x1=$(ticks "$xvfb")
  kill -TERM "$pid"; wait "$pid" || true
  stop_server "$xvfb"
  awk -v s="$size" -v p=$((p1 - p0)) -v x=$((x1 - x0)) -v hz="$hz" -v t="$seconds" 'BEGIN {
    printf "%s --fps '"$fps"': program %.2f%%, X server %.2f%% of one core\n", s, 100 * p / hz / t, 100 * x / hz / t }'
done
