#!/usr/bin/env bash
# What showing the effect's own change costs, program plus display server,
# beside a bare client replaying the same change: the fills of a seeded
# headless run of the same size and seed (bench/replay_trace.h), one run after
# the other in alternating rounds, medians of ROUNDS rounds of SECONDS after 2 s.
#  - Wayland on sway (pixman) and on KWin (OpenGL in software), as nobody:
#    bench/replay_wayland damaging each fill, 64-row bands or the whole buffer;
#    the floor is the cheapest of the three. Target: <= 1.25x.
#  - X11 on Xvfb: bench/replay_x11, one XFillRectangles per run of one colour.
#    Target: <= 1.25x.
# Also, at 3840x2160, memory after 2 + SECONDS s (proportional set size: the
# client's on Wayland, client + server on X11), and on sway at 1920x1080 the
# client's voluntary context switches a second. Targets: <= 1.25x the floor's.
# Usage: bench/present.sh [SECONDS]   (after: cmake --workflow --preset default; as root)
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-8}
rounds=${ROUNDS:-3}
build=$(realpath "${BUILD:-build/default}")
source tests/lib.sh
source tests/wayland_lib.sh
rt=
hz=$(getconf CLK_TCK)
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
switches() { awk '/^voluntary_ctxt_switches/ { print $2 }' "/proc/$1/status"; }
pss() { awk '/^Pss:/ { print $2 }' "/proc/$1/smaps_rollup"; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# One client measured beside its server: after 2 s, over SECONDS, prints the
# share of a core of both, the client's voluntary switches a second, the
# proportional set size in MiB of the client and of the server at the end, and
# the client's own share.
# Usage: measure CLIENT SERVER
measure() {
  local a=0 b=0 c0 c1 s0 s1
  sleep 2
  c0=$(ticks "$1"); a=$((c0 + $(ticks "$2"))); s0=$(switches "$1")
  sleep "$seconds"
  c1=$(ticks "$1"); b=$((c1 + $(ticks "$2"))); s1=$(switches "$1")
  awk -v t=$((b - a)) -v hz="$hz" -v s="$seconds" -v w=$((s1 - s0)) -v c="$(pss "$1")" -v x="$(pss "$2")" -v o=$((c1 - c0)) \
    'BEGIN { printf "%.2f %.0f %.1f %.1f %.2f\n", 100 * t / hz / s, w / s, c / 1024, x / 1024, 100 * o / hz / s }'
}
# The trace of the run a measured program makes: the same size and seed.
trace_of() {
  "$build/squarefield" --headless --size "$1" --seed 7 --frames $((60 * (seconds + 6))) --trace "$work/trace-$1.txt"
  chmod 644 "$work/trace-$1.txt"
}

# The rows: PATH SIZE, then what each measured client printed, one file each.
rows=()
# Usage: runs SERVER CLIENT-STARTER NAME...: each round, every NAME started by
# `CLIENT-STARTER NAME` (which sets $client) and measured into $work/NAME.
runs() {
  local server=$1 start=$2 name
  shift 2
  for name in "$@"; do : >"$work/$name"; done
  for _ in $(seq "$rounds"); do
    for name in "$@"; do
      $start "$name"
      measure "$client" "$server" >>"$work/$name"
      kill -TERM "$client" 2>/dev/null; wait "$client" 2>/dev/null || true
    done
  done
}
# Column K's median of NAME's rounds.
col() { awk -v k="$2" '{ print $k }' "$work/$1" | median; }

wayland_client() {
  if [ "$1" = ours ]; then
    AS_EXEC=1 as "$rt/squarefield" --seed 7 --fps 60 &
  else
    AS_EXEC=1 as "$rt/replay_wayland" "$rt/trace.txt" "$1" $((seconds + 4)) &
  fi
  client=$!
}

# Wayland: the floor is the cheapest shape; memory at 4K and wake-ups at 1080 on sway.
wayland_report() {
  local path=$1 best= shape c o
  for shape in fills bands whole; do
    c=$(col "$shape" 1)
    if [ -z "$best" ] || awk -v c="$c" -v b="$(col "$best" 1)" 'BEGIN { exit !(c < b) }'; then best=$shape; fi
  done
  o=$(col ours 1)
  row "$path $size" "$(col "$best" 1)% ($best, client $(col "$best" 5)%; fills $(col fills 1)%, bands $(col bands 1)%)" "$o% ($(col ours 5)%)" "$(ratio "$o" "$(col "$best" 1)")"
  if [ "$path" = sway ] && [ "$size" = 3840x2160 ]; then
    row "memory, Wayland $size" "$(col "$best" 3) MiB" "$(col ours 3) MiB" "$(ratio "$(col ours 3)" "$(col "$best" 3)")"
  fi
  if [ "$path" = sway ] && [ "$size" = 1920x1080 ]; then
    row "wake-ups, Wayland $size" "$(col "$best" 2)/s" "$(col ours 2)/s" "$(ratio "$(col ours 2)" "$(col "$best" 2)")"
  fi
}

sway_path() {
  wayland_rig sway "$build/squarefield"
  cp "$build/bench/replay_wayland" "$rt/"; chmod 755 "$rt/replay_wayland"
  cp "$work/trace-$size.txt" "$rt/trace.txt"
  printf 'output HEADLESS-1 resolution %s\ndefault_border none\n' "$size" >"$rt/config"; chmod 644 "$rt/config"
  AS_EXEC=1 as sway -c "$rt/config" >"$rt/sway.log" 2>&1 &
  local sway=$!
  keep_pid $sway
  await_socket "$rt/sway.log"; wl=$socket
  runs $sway wayland_client fills bands whole ours
  stop_server $sway
  wayland_report sway
  rm -rf "$rt"; wls=
}

kwin_path() {
  wayland_rig kwin "$build/squarefield"
  cp "$build/bench/replay_wayland" "$(command -v kwin_wayland)" "$rt/"; chmod 755 "$rt/replay_wayland" "$rt/kwin_wayland"
  cp "$work/trace-$size.txt" "$rt/trace.txt"
  printf '#!/bin/sh\necho $$ >"$XDG_RUNTIME_DIR/kwin.pid"\nexec "$XDG_RUNTIME_DIR/kwin_wayland" "$@"\n' >"$rt/start.sh"; chmod 755 "$rt/start.sh"
  AS_EXEC=1 as dbus-run-session -- "$rt/start.sh" --virtual --width "${size%x*}" --height "${size#*x}" \
    --no-lockscreen --no-global-shortcuts --no-kactivities --socket wayland-bench >"$rt/kwin.log" 2>&1 &
  local session=$! kwin
  keep_pid $session
  await_socket "$rt/kwin.log"; wl=$socket
  sleep 2
  kwin=$(cat "$rt/kwin.pid")
  runs "$kwin" wayland_client fills bands whole ours
  kill "$kwin"; wait $session 2>/dev/null || true
  wayland_report KWin
  rm -rf "$rt"; wls=
}

x11_client() {
  if [ "$1" = ours ]; then
    "$build/squarefield" --seed 7 --fps 60 &
  else
    "$build/bench/replay_x11" "$work/trace-$size.txt" $((seconds + 4)) &
  fi
  client=$!
}
x11_path() {
  start_xvfb "$size"
  runs "$xvfb" x11_client replay ours
  stop_server "$xvfb"
  row "X11 $size" "$(col replay 1)% (client $(col replay 5)%)" "$(col ours 1)% ($(col ours 5)%)" "$(ratio "$(col ours 1)" "$(col replay 1)")"
  if [ "$size" = 3840x2160 ]; then
    local f o
    f=$(awk '{ print $3 + $4 }' "$work/replay" | median); o=$(awk '{ print $3 + $4 }' "$work/ours" | median)
    row "memory, X11 $size" "$f MiB" "$o MiB" "$(ratio "$o" "$f")"
  fi
}

ratio() { awk -v o="$1" -v b="$2" 'BEGIN { printf "%.2fx", (b > 0 ? o / b : 0) }'; }
row() { printf '| %-26s | %-58s | %-16s | %-6s |\n' "$1" "$2" "$3" "$4"; }

row path "the replay floor (program + server; the client alone)" "ours" ratio
row "---" "---" "---" "---"
for size in ${SIZES:-1920x1080 3840x2160}; do
  trace_of "$size"
  for path in ${PATHS:-sway kwin x11}; do "${path}_path"; done
done
echo "(targets: every ratio <= 1.25x)"
