#!/usr/bin/env bash
# Full screen where the X screen is more than one monitor, or changes size:
# two monitors of different sizes (a nested server with Xinerama) get one field
# across both, centred on their bounding box; a screen resized from outside is
# followed without a restart. Usage: monitors_test.sh path/to/squarefield
bin=${1:?}
source "$(dirname "$0")/lib.sh"
start_xvfb 2200x1000 || exit 1
outer=$DISPLAY
shot() { xwd -root -silent | convert xwd:- "$1"; }

# Runs the program on $DISPLAY until its window is up; sets $pid. Usage: start [OPTION...]
start() {
  "$bin" "$@" --trace "$work/t.txt" 2>"$work/err" &
  pid=$!
  for _ in $(seq 100); do xdotool search --name '^squarefield$' >/dev/null 2>&1 && break; sleep 0.1; done
  sleep 1.5
}
# Escape, then status 0 within 2 s and the clean shut-down in the trace.
escape() {
  xdotool key Escape
  for _ in $(seq 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then kill -9 "$pid"; fi
  wait "$pid"
  local status=$?
  [ "$status" = 0 ] && tail -3 "$work/t.txt" | tr '\n' ' ' | grep -q "ShowCursor 1 -> 0 DeleteObject 4 DeleteObject 5" ||
    fail "$1: Escape gave status $status, $(tail -2 "$work/t.txt" | tr '\n' ' ') $(cat "$work/err")"
}

# Two monitors side by side, 1024x768 and 800x600: 1824x768 in all.
start_x_server Xephyr +xinerama -screen 1024x768 -screen 800x600 -origin 1024,0 || exit 1
export DISPLAY=$display
start --fps 60  # a trace of a few seconds' frames, not a few thousand
# Shot again until both are covered (a slow machine, the sanitizers), up to 8 s.
for _ in $(seq 8); do
  shot "$work/two.png"
  first=no second=no
  field_in "$work/two.png" 1024 768 0 0 && first=yes
  field_in "$work/two.png" 800 600 1024 0 && second=yes
  [ "$first$second" = yesyes ] && break
  sleep 1
done
[ "$first" = yes ] || fail "two monitors: no field on the first"
[ "$second" = yes ] || fail "two monitors: no field on the second"
escape "two monitors"
# The field's centre, from the trace (complete once the run has ended):
# squares fly out from it in every direction alike, so their mean position is
# there, (912, 384), not at the first monitor's centre (512, 384).
read -r cx cy n < <(awk '$1 == "FillRect" && $7 == 5 { x += ($3 + $5) / 2; y += ($4 + $6) / 2; n++ }
  END { if (n) printf "%.0f %.0f %d\n", x / n, y / n, n; else print "0 0 0" }' "$work/t.txt")
echo "two monitors: the squares' mean position ($cx, $cy) over $n squares drawn"
[ "$n" -gt 1000 ] && [ $((cx > 912 ? cx - 912 : 912 - cx)) -lt 60 ] && [ $((cy > 384 ? cy - 384 : 384 - cy)) -lt 40 ] ||
  fail "two monitors: the field is not centred on the bounding box (912, 384)"
stop_server "$server"

# One monitor whose screen is resized from outside (a nested server's window).
DISPLAY=$outer
start_x_server Xephyr -resizeable -screen 640x480 || exit 1
export DISPLAY=$display
start
nested=$(DISPLAY=$outer xdotool search --name Xephyr | head -1)
DISPLAY=$outer xdotool windowsize "$nested" 1200 800
for _ in $(seq 30); do xdpyinfo | grep -q "dimensions: *1200x800" && break; sleep 0.1; done
covered=no
for _ in $(seq 8); do
  sleep 1
  shot "$work/resized.png"
  field_in "$work/resized.png" 1200 800 && { covered=yes; break; }
done
[ "$covered" = yes ] || fail "resized to 1200x800: the field does not cover the new size"
escape "resized"

finish_tests monitors
