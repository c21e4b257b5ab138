#!/usr/bin/env bash
# The SDL desktop host as a user meets it, on an X server of its own (Xvfb):
# the field on screen, and every way of ending it ending cleanly.
# Usage: desktop_test.sh path/to/squarefield path/to/wm_close path/to/x_window
bin=${1:?}
wm_close=${2:?} x_window=${3:?}
source "$(dirname "$0")/lib.sh"

# Without any display: status 2 and a message that points to --headless.
env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "$bin" --frames 1 >/dev/null 2>"$work/err"
status=$?
[ "$status" = 2 ] || fail "no display: exit $status"
grep -q -- "--headless" "$work/err" && [ "$(wc -l <"$work/err")" = 1 ] || fail "no display: message $(cat "$work/err")"

# A display that cannot be opened: status 2 and one line naming it.
env -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER DISPLAY=:4095 "$bin" --frames 1 >/dev/null 2>"$work/err"
status=$?
[ "$status" = 2 ] || fail "display :4095: exit $status"
grep -q -- "cannot open display :4095" "$work/err" && [ "$(wc -l <"$work/err")" = 1 ] ||
  fail "display :4095: message $(cat "$work/err")"

# SDL2 there but not loadable (no address space left to map it): the loader's
# reason, not "not installed". (Not under the sanitizers, which need more.)
if [ -z "${SQUAREFIELD_SANITIZED:-}" ]; then
  start_xvfb 1024x768 || exit 1

# Without a session bus nothing of ours outlives the program (the D-Bus library
# would start a bus of its own: dbus-launch and a dbus-daemon). First on this
# X server: a bus started for a display is used again by later runs.
autolaunched() { pgrep -c -f "dbus-launch --autolaunch" || true; }
before=$(autolaunched)
env -u DBUS_SESSION_BUS_ADDRESS "$bin" --frames 10 --fps 30 2>"$work/err" || fail "no session bus: status $?"
sleep 0.5
[ "$(autolaunched)" = "$before" ] || { fail "no session bus: a dbus-launch outlived the program"; pkill -f "dbus-launch --autolaunch"; }
  (ulimit -v 20000; "$bin" --frames 1) >/dev/null 2>"$work/err"
  status=$?
  stop_server "$xvfb"
  [ "$status" = 2 ] && grep -q "SDL2 could not be loaded: .*map" "$work/err" && [ "$(wc -l <"$work/err")" = 1 ] ||
    fail "SDL2 not loadable: exit $status, $(cat "$work/err")"
fi

# Too few descriptors left for the connection: that, not "cannot open display" alone.
# (Not under the sanitizers, which need descriptors of their own.)
if [ -z "${SQUAREFIELD_SANITIZED:-}" ]; then
  start_xvfb 1024x768 || exit 1
  (
    for fd in $(ls /proc/$BASHPID/fd); do [ "$fd" -gt 2 ] && eval "exec $fd>&-"; done 2>/dev/null
    ulimit -n 4
    "$bin" --frames 1
  ) >/dev/null 2>"$work/err"
  status=$?
  stop_server "$xvfb"
  [ "$status" = 2 ] && grep -q "too few file descriptors .*ulimit -n, is 4" "$work/err" ||
    fail "ulimit -n 4: exit $status, $(cat "$work/err")"
fi

# Hints only where whoever started it can follow them: a daemon's window or a
# window id wants that window, not --headless; an environment is not an option.
env -u DISPLAY -u WAYLAND_DISPLAY "$bin" --window-id 0x200 2>"$work/err"
status=$?
[ "$status" = 2 ] && ! grep -q -- "--headless" "$work/err" || fail "--window-id, no display: exit $status, $(cat "$work/err")"
XSCREENSAVER_WINDOW=zz "$bin" --root 2>"$work/err"
status=$?
[ "$status" = 2 ] && grep -q "XSCREENSAVER_WINDOW: 'zz'" "$work/err" && ! grep -q -- "--help" "$work/err" ||
  fail "a bad XSCREENSAVER_WINDOW: exit $status, $(cat "$work/err")"

# A display of 8-bit colours, which it cannot draw on: refused at the start, status 2.
start_xvfb 1024x768 8 || exit 1
"$bin" --frames 3 >/dev/null 2>"$work/err"
status=$?
kill "$xvfb"; wait "$xvfb" 2>/dev/null
[ "$status" = 2 ] && grep -q "pixel format" "$work/err" && [ "$(wc -l <"$work/err")" = 1 ] ||
  fail "8-bit display: exit $status, $(cat "$work/err")"

# The display going away mid-run: one line, status 1, the trace so far kept, no temporary left.
start_xvfb 1024x768 || exit 1
mkdir "$work/lost"
"$bin" --trace "$work/lost/t.txt" 2>"$work/err" &
pid=$!
for _ in $(seq 100); do xdotool search --name '^squarefield$' >/dev/null 2>&1 && break; sleep 0.1; done
sleep 0.5  # some frames drawn first
kill "$xvfb"; wait "$xvfb" 2>/dev/null
for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then kill -9 "$pid"; fail "display lost: still running after 3 s"; fi
wait "$pid"
status=$?
[ "$status" = 1 ] && grep -q "^squarefield: lost the connection to the display$" "$work/err" &&
  [ "$(wc -l <"$work/err")" = 1 ] || fail "display lost: exit $status, $(cat "$work/err")"
[ "$(ls -A "$work/lost")" = t.txt ] && head -1 "$work/lost/t.txt" | grep -q "^# squarefield " &&
  grep -q "^FillRect " "$work/lost/t.txt" || fail "display lost: the folder holds $(ls -A "$work/lost")"

start_xvfb 1024x768 || exit 1

# Starts the program, waits until its window is mapped; sets $pid.
start() {
  # (As from a terminal: a script's background jobs start with SIGINT ignored, which the program keeps.)
  env --default-signal=INT "$bin" "$@" 2>"$work/err" &
  pid=$!
  for _ in $(seq 100); do xdotool search --name '^squarefield$' >/dev/null 2>&1 && break; sleep 0.1; done
  xdotool search --name '^squarefield$' >/dev/null 2>&1 || echo "no window after 10 s; stderr: $(cat "$work/err")"
  sleep 1
}
# Waits up to 2 s for $pid; sets $result to its status, or "timeout".
finish() {
  for _ in $(seq 20); do
    if ! kill -0 "$pid" 2>/dev/null; then wait "$pid"; result=$?; return; fi
    sleep 0.1
  done
  kill -9 "$pid"; wait "$pid" 2>/dev/null; result=timeout
  echo "timed out; its stderr: $(cat "$work/err")"
}

# The wallpaper: below the windows there were and the ones that come, Escape
# not its own, and SIGTERM ending it cleanly.
"$x_window" 300 200 100 100 >/dev/null &
before=$!
keep_pid $before
sleep 0.5
start --wallpaper --fps 30 --trace "$work/wallpaper.txt"
"$x_window" 300 200 600 450 >/dev/null &
after=$!
keep_pid $after
sleep 1
xdotool mousemove 50 700 key Escape
sleep 0.5
xwd -root -silent | convert xwd:- "$work/wallpaper.png"
for area in 280x180+110+110 280x180+610+460; do
  grey=$(convert "$work/wallpaper.png" -crop "$area" +repage -colorspace gray -format '%[fx:minima] %[fx:maxima]' info:)
  [ "$grey" = "0.501961 0.501961" ] || fail "wallpaper: the field shows over a window at $area ($grey)"
done
field_in "$work/wallpaper.png" 512 384 512 0 || fail "wallpaper: no field around the windows"
kill -0 "$pid" 2>/dev/null || fail "wallpaper: Escape, meant for the desktop, ended it"
kill -TERM "$pid"
finish
kill "$before" "$after"
[ "$result" = 0 ] && tail -3 "$work/wallpaper.txt" | tr '\n' ' ' | grep -q "ShowCursor 1 -> 0 DeleteObject 4 DeleteObject 5" ||
  fail "wallpaper: SIGTERM: status $result, not a clean shut-down"

# The field: mostly black, with white squares in all four quadrants.
start
xwd -root -silent | convert xwd:- "$work/shot.png"
field_in "$work/shot.png" 1024 768 || fail "no field of squares in all four quadrants"
xdotool key Escape
finish; [ "$result" = 0 ] || fail "Escape: not status 0 within 2 s: $(cat "$work/err")"

# Two instances, no window manager: each Escape ends the one on top, and the
# one below gets the keyboard back when it is seen again.
start --fps 30
first=$pid
start --fps 30
for _ in $(seq 50); do [ "$(xdotool search --name '^squarefield$' | wc -l)" = 2 ] && break; sleep 0.1; done
sleep 0.5
xdotool key Escape
finish; [ "$result" = 0 ] || fail "two instances: the first Escape did not end the one on top"
sleep 1
pid=$first
xdotool key Escape
finish; [ "$result" = 0 ] || fail "two instances: the one below never got the keyboard back"

start --trace "$work/close.txt"
"$wm_close" squarefield || fail "wm_close"
finish; [ "$result" = 0 ] || fail "window close: not status 0 within 2 s"
tail -4 "$work/close.txt" | tr '\n' ' ' | grep -q "Unload ShowCursor 1 -> 0 DeleteObject 4 DeleteObject 5" ||
  fail "window close: no clean shut-down"

for sig in TERM INT HUP; do
  start
  kill -s "$sig" "$pid"
  finish; [ "$result" = 0 ] || fail "SIG$sig: not status 0 within 2 s"
done

# At a slow pace a stop still ends the run at once, not after the frame's wait.
start --fps 0.1
t0=$(date +%s%N)
kill -TERM "$pid"
finish
elapsed=$((($(date +%s%N) - t0) / 1000000))
[ "$result" = 0 ] && [ "$elapsed" -lt 1000 ] || fail "--fps 0.1: SIGTERM took $elapsed ms (status $result)"
# ...and so do Escape and the window manager's close, which the wait pumps for.
for how in Escape close; do
  start --fps 0.1
  t0=$(date +%s%N)
  if [ "$how" = Escape ]; then xdotool key Escape; else "$wm_close" squarefield || fail "wm_close"; fi
  finish
  elapsed=$((($(date +%s%N) - t0) / 1000000))
  echo "--fps 0.1: $how ended the run in $elapsed ms"
  [ "$result" = 0 ] && [ "$elapsed" -lt 1000 ] || fail "--fps 0.1: $how took $elapsed ms (status $result)"
done

# Nothing seen, nothing spent: covered entirely by another window it draws no
# frames (and takes no CPU), and goes on where it was once uncovered.
start --fps 30 --trace "$work/covered.txt"
"$x_window" 1024 768 0 0 >/dev/null &
cover=$!
sleep 1
t0=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
sleep 3
t1=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
kill "$cover"; wait "$cover" 2>/dev/null
sleep 1.5
kill -TERM "$pid"
finish
polls=$(frames_in "$work/covered.txt")
echo "covered for 4 s of 6.5 at --fps 30: $polls frames, $((t1 - t0)) ticks of CPU in 3 s covered"
[ "$result" = 0 ] && [ "$polls" -ge 45 ] && [ "$polls" -le 120 ] && [ $((t1 - t0)) -le 5 ] ||
  fail "covered: status $result, $polls frames in 6.5 s at --fps 30 (not about 75: it drew while covered, or did not go on), $((t1 - t0)) ticks while covered"

# --saver, as an idle daemon runs it: any key, click or move of the mouse
# beyond a small jitter ends it with status 0, as Escape does; a nudge does not.
saver_case() {
  local how=$1
  xdotool mousemove 500 400
  start --saver --trace "$work/saver.txt"
  case $how in
    key) xdotool key a ;;
    click) xdotool click 1 ;;
    wheel) xdotool click 4 ;;
    move) xdotool mousemove 600 500 ;;
  esac
  finish
  [ "$result" = 0 ] && tail -3 "$work/saver.txt" | tr '\n' ' ' | grep -q "ShowCursor 1 -> 0 DeleteObject 4 DeleteObject 5" ||
    fail "--saver, $how: status $result, or no clean shut-down"
}
run_cases saver_case 4 <<'CASES'
key
click
wheel
move
CASES
xdotool mousemove 500 400
start --saver
xdotool mousemove 504 403
sleep 1
kill -0 "$pid" 2>/dev/null || fail "--saver: a move within the jitter ended it"
xdotool key Escape
finish
[ "$result" = 0 ] || fail "--saver: Escape after a nudge: status $result"

# Exactness: the screen is the headless picture of the same seed and frame.
start --seed 5 --fps 4 --trace "$work/exact.txt"
sleep 1
kill -STOP "$pid"
sleep 0.3
xwd -root -silent | convert xwd:- "$work/exact.png"
kill -TERM "$pid"
kill -CONT "$pid"
finish
[ "$result" = 0 ] || fail "exactness run: status $result"
same_as_headless "$bin" "X11" "$work/exact.png" "$(frames_in "$work/exact.txt")" 1024 768

# --window: a 1024x768 window; --fps paces it.
start --window --fps 30 --frames 30 --trace "$work/w.txt"
finish; [ "$result" = 0 ] || fail "--window --fps 30 --frames 30 did not end in time"
head -2 "$work/w.txt" | grep -q "SetWindowPos 1 -1 0 0 1024 768 0x0050" || fail "--window size"

# --window follows its window: resized from outside, the field fills it anew.
start --window --fps 30 --trace "$work/resized.txt"
win=$(xdotool search --name '^squarefield$' | head -1)
xdotool windowsize "$win" 600 300
sleep 1.5
eval "$(xdotool getwindowgeometry --shell "$win")"
xwd -root -silent | convert xwd:- "$work/resized.png"
[ "$WIDTH" = 600 ] && [ "$HEIGHT" = 300 ] && field_in "$work/resized.png" 600 300 "$X" "$Y" ||
  fail "--window resized to 600x300: no field over all of it (window ${WIDTH}x$HEIGHT at $X,$Y)"
xdotool key Escape
finish
grep -qx "# screen 600x300" "$work/resized.txt" || fail "--window resized to 600x300: the field was not laid out anew at that size"

# On a screen smaller than the window's 1024x768 it fits the screen.
start_xvfb 1280x720 || exit 1
start --window --fps 30
win=$(xdotool search --name '^squarefield$' | head -1)
X= Y= WIDTH= HEIGHT=
[ -n "$win" ] && eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool key Escape
finish
[ -n "$Y" ] && [ "$Y" -ge 0 ] && [ $((Y + HEIGHT)) -le 720 ] ||
  fail "--window on a 1280x720 screen: ${WIDTH}x$HEIGHT at $X,$Y is off the screen"

finish_tests desktop
