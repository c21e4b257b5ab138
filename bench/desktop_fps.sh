#!/usr/bin/env bash
# The SDL desktop host against the headless host, on an Xvfb screen of
# WIDTHxHEIGHT, in one run: frames per second of each (start-up not counted) and the ratio; then the
# share of one core used with --fps 60.
# Usage: bench/desktop_fps.sh [FRAMES] [WIDTHxHEIGHT]   (after: cmake --workflow --preset default)
set -eu
frames=${1:-3000}
size=${2:-1920x1080}
bin=${BUILD:-build/default}/squarefield
source "$(dirname "$0")/../tests/lib.sh"
start_xvfb "$size"

seconds() { local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null; t1=$(date +%s.%N); awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }'; }
# Two run lengths each, so that start-up (SDL and the window, the framebuffer) cancels out.
sdl1=$(seconds "$bin" --frames "$frames")
sdl2=$(seconds "$bin" --frames $((2 * frames)))
h1=$(seconds "$bin" --headless --size "$size" --frames "$frames")
h2=$(seconds "$bin" --headless --size "$size" --frames $((2 * frames)))
awk -v n="$frames" -v s1="$sdl1" -v s2="$sdl2" -v h1="$h1" -v h2="$h2" 'BEGIN {
  s = s2 - s1; h = h2 - h1
  printf "sdl:      %d more frames in %.3f s: %.0f frames/s (start-up %.2f s, not counted)\n", n, s, n / s, s1 - s
  printf "headless: %d more frames in %.3f s: %.0f frames/s\n", n, h, n / h
  printf "ratio: %.3f of the headless rate\n", h / s }'

# CPU share at 60 frames per second over 10 s: user + system time of the process.
/usr/bin/time -f "%U %S %e" -o "$work/time" "$bin" --fps 60 --frames 600
read -r user sys real <"$work/time"
awk -v u="$user" -v s="$sys" -v r="$real" 'BEGIN { printf "--fps 60: %.1f%% of one core (%.2f s CPU over %.2f s)\n", 100 * (u + s) / r, u + s, r }'
