#!/usr/bin/env bash
# Native Wayland in a real compositor (sway, headless, software rendering),
# with no X server: the picture on screen pixel for pixel the headless one of
# the same seed and frame, at scale 1 and 2, and across two outputs side by
# side and stacked at mixed scales; the field full-screen, following an
# output's new size, a second output of another scale and an output taken
# away; Escape ending it cleanly, and a compositor that dies ending it with
# status 1. The compositor refuses root: it and the program run as nobody.
# Usage: wayland_test.sh path/to/squarefield
bin=${1:?}
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/wayland_lib.sh"
need wayland sway sway swaymsg
need wayland grim grim
need wayland wtype wtype
need wayland swayidle swayidle
/usr/bin/python3 -c 'import gi; gi.require_version("Gtk", "3.0")' 2>/dev/null ||
  cannot_run wayland "no GTK for Python (packages python3-gi, gir1.2-gtk-3.0)"
wayland_rig wayland "$bin"
printf 'output HEADLESS-1 resolution 1280x720\ndefault_border none\n' >"$rt/config"
# The ordinary window of the wallpaper's test floats over part of the output.
echo 'for_window [title="plain"] floating enable, resize set 400 300, move position 100 100' >>"$rt/config"
cp "$(dirname "$0")/plain_window.py" "$rt/"
chmod 644 "$rt/config" "$rt/plain_window.py"
AS_EXEC=1 as sway -c "$rt/config" >"$rt/sway.log" 2>&1 &
keep_pid $!
await_socket "$rt/sway.log"
wl=$socket
sock=$(ls "$rt"/sway-ipc.*)
msg() { as SWAYSOCK="$sock" swaymsg "$@"; }
shot() { as grim "${@:2}" "$rt/shot.png" && cp "$rt/shot.png" "$1"; }

# Exactness at scale 1 and 2 (wayland_lib.sh).
exact scale-1 1280 720
msg output HEADLESS-1 scale 2 >/dev/null
exact scale-2 1280 720
msg output HEADLESS-1 scale 1 >/dev/null
exact wallpaper 1280 720 --wallpaper

# The wallpaper below an ordinary window: the field around it and not over it,
# the keys the window's (Escape too), nothing drawn while a full-screen window
# covers it all, and SIGTERM ending it cleanly.
AS_EXEC=1 as LSAN_OPTIONS=detect_leaks=0 "$rt/squarefield" --wallpaper --fps 300 --trace "$rt/wallpaper.txt" 2>"$work/err" &
pid=$!
keep_pid $pid
sleep 1
AS_EXEC=1 as GDK_BACKEND=wayland /usr/bin/python3 "$rt/plain_window.py" 12 >"$rt/typed.txt" 2>"$rt/gtk.err" &
plain=$!
keep_pid $plain
sleep 2
as wtype -s 1500 hello
as wtype -k Escape
sleep 1
shot "$work/wallpaper.png"
t0=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
sleep 2
seen=$(($(awk '{ print $14 + $15 }' "/proc/$pid/stat") - t0))
red=$(convert "$work/wallpaper.png" -crop 380x280+110+110 +repage -format '%[fx:minima.r] %[fx:maxima.g] %[fx:maxima.b]' info:)
[ "$red" = "1 0 0" ] || fail "wallpaper: the field shows over the window ($red)"
field_in "$work/wallpaper.png" 640 720 640 0 || fail "wallpaper: no field around the window"
msg '[title="plain"] fullscreen enable' >/dev/null
sleep 1
t0=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
sleep 2
covered=$(($(awk '{ print $14 + $15 }' "/proc/$pid/stat") - t0))
wait $plain
[ "$(cat "$rt/typed.txt")" = hello ] || fail "wallpaper: the window's keys went elsewhere: '$(cat "$rt/typed.txt")'"
kill -0 $pid 2>/dev/null || fail "wallpaper: ended by a key meant for the window"
sleep 1
kill -TERM $pid
wait $pid
status=$?
frames=$(frames_in "$rt/wallpaper.txt")
echo "wallpaper at --fps 300: $seen ticks of CPU in 2 s seen, $covered in 2 s covered by a full-screen window; $frames frames in all"
[ "$covered" -le 2 ] && [ "$seen" -ge 8 ] && [ "$frames" -ge 1000 ] ||
  fail "wallpaper: $seen ticks in 2 s seen, $covered covered, $frames frames in all"
[ "$status" = 0 ] && tail -3 "$rt/wallpaper.txt" | tr '\n' ' ' | grep -q "ShowCursor 1 -> 0 DeleteObject 4 DeleteObject 5" ||
  fail "wallpaper: SIGTERM: status $status, not a clean shut-down"

# Nothing seen, nothing spent: on a workspace not shown the compositor asks
# for no frames, and the program draws none (and takes no CPU) until it is
# shown again, then goes on.
AS_EXEC=1 as LSAN_OPTIONS=detect_leaks=0 "$rt/squarefield" --fps 30 --trace "$rt/hidden.txt" 2>"$work/err" &
pid=$!
keep_pid $pid
sleep 1.5
msg workspace 2 >/dev/null
sleep 1
t0=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
sleep 3
t1=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
msg workspace 1 >/dev/null
sleep 1.5
kill -TERM $pid
wait $pid
status=$?
polls=$(frames_in "$rt/hidden.txt")
echo "another workspace for 4 s of 6.5 at --fps 30: $polls frames, $((t1 - t0)) ticks of CPU in 3 s hidden"
[ "$status" = 0 ] && [ "$polls" -ge 45 ] && [ "$polls" -le 120 ] && [ $((t1 - t0)) -le 5 ] ||
  fail "another workspace: status $status, $polls frames in 6.5 s at --fps 30 (not about 75), $((t1 - t0)) ticks hidden"

# --window follows its window: a tiling compositor gives it the whole output,
# then half of it when a second window opens beside it.
AS_EXEC=1 as LSAN_OPTIONS=detect_leaks=0 "$rt/squarefield" --window --fps 30 --trace "$rt/window.txt" 2>"$work/err" &
first=$!
keep_pid $first
sleep 1.5
AS_EXEC=1 as LSAN_OPTIONS=detect_leaks=0 "$rt/squarefield" --window --fps 30 2>/dev/null &
second=$!
keep_pid $second
sleep 1.5
kill -TERM $first $second
wait $first
status=$?
wait $second
# (A compositor that sizes a window only once it is shown makes that a second layout.)
[ "$status" = 0 ] && grep -Eq "^(SetWindowPos 1 -1 0 0 1280 720 0x0050|# screen 1280x720)$" "$rt/window.txt" &&
  grep -qx "# screen 640x720" "$rt/window.txt" ||
  fail "--window: status $status; not laid out at the output's 1280x720, then its half: $(grep -E '^(SetWindowPos|# screen)' "$rt/window.txt" | tr '\n' ' ')"

# Under the sanitizers: the Wayland client libraries (and the ones they load
# and unload again, which leave no name to suppress by) keep memory to the
# end; leaks in the program's own code are looked for by the other tests.
AS_EXEC=1 as LSAN_OPTIONS=detect_leaks=0 "$rt/squarefield" --fps 60 --trace "$rt/t.txt" 2>"$work/err" &
pid=$!
keep_pid $pid
sleep 2
msg -t get_tree | grep -q '"app_id": "squarefield"' || fail "no window of the program in the compositor's tree"
shot "$work/one.png"
field_in "$work/one.png" 1280 720 || fail "no field full-screen on one output"

# The output resized: the field follows.
msg output HEADLESS-1 resolution 800x600 >/dev/null
sleep 1.5
shot "$work/resized.png"
field_in "$work/resized.png" 800 600 || fail "output resized to 800x600: no field over all of it"

# A second output: both covered.
msg create_output >/dev/null
msg output HEADLESS-2 resolution 640x480 position 800 0 >/dev/null
sleep 1
# Shot again until both are covered (a slow machine, the sanitizers), up to 8 s.
for _ in $(seq 8); do
  shot "$work/two.png"
  # Where the compositor put them is its own choice: ask it. The screenshot
  # spans their bounding box, from its top-left corner.
  msg -t get_outputs | python3 -c 'import json, sys
o = [x["rect"] for x in json.load(sys.stdin) if x.get("active")]
l, t = min(r["x"] for r in o), min(r["y"] for r in o)
for r in o: print(r["width"], r["height"], r["x"] - l, r["y"] - t)' >"$work/outputs"
  covered=0
  while read -r w h x y; do
    field_in "$work/two.png" "$w" "$h" "$x" "$y" && covered=$((covered + 1)) || echo "no field yet on the output at $x,$y ($w x $h)" >"$work/why"
  done <"$work/outputs"
  [ "$covered" = 2 ] && break
  sleep 1
done
[ "$covered" = 2 ] || fail "two outputs: $covered of $(wc -l <"$work/outputs") outputs covered; $(cat "$work/why")"

# The second output at scale 2: each output shows the field in all its pixels.
msg output HEADLESS-2 scale 2 >/dev/null
for _ in $(seq 8); do
  sleep 1
  shot "$work/first.png" -o HEADLESS-1
  shot "$work/second.png" -o HEADLESS-2
  field_in "$work/first.png" 800 600 && field_in "$work/second.png" 640 480 && break
done
[ "$(identify -format %wx%h "$work/second.png")" = 640x480 ] || fail "scale 2: the output's shot is $(identify -format %wx%h "$work/second.png")"
field_in "$work/first.png" 800 600 && field_in "$work/second.png" 640 480 || fail "outputs at scales 1 and 2: not both covered"

# The seat has a keyboard only while wtype's virtual one exists: give the
# program time to take it (and its keymap) before the key.
as wtype -s 1500 -k Escape
for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$pid" 2>/dev/null; then kill -9 "$pid"; fail "Escape did not end it"; fi
wait "$pid"
status=$?
[ "$status" = 0 ] && tail -3 "$rt/t.txt" | tr '\n' ' ' | grep -q "ShowCursor 1 -> 0 DeleteObject 4 DeleteObject 5" ||
  fail "Escape: status $status, no clean shut-down; $(cat "$work/err")"
[ ! -s "$work/err" ] || fail "something on stderr: $(cat "$work/err")"

# --saver under an idle daemon, as a user sets it up: swayidle starts it after
# a second without input; a key ends it with status 0, the daemon's resume
# command finds nothing left to stop, and nothing of it is left running.
cat >"$rt/saver.sh" <<SCRIPT
#!/bin/sh
LSAN_OPTIONS=detect_leaks=0 "$rt/squarefield" --saver --trace "$rt/saver.txt" 2>"$rt/saver.err"
echo \$? >"$rt/saver.status"
SCRIPT
chmod 755 "$rt/saver.sh"
AS_EXEC=1 as swayidle -w timeout 1 "$rt/saver.sh" resume "pkill -TERM -f '$rt/squarefield --saver'" >"$rt/idle.log" 2>&1 &
idle=$!
keep_pid $idle
for _ in $(seq 50); do pgrep -f "$rt/squarefield --saver" >/dev/null && break; sleep 0.1; done
pgrep -f "$rt/squarefield --saver" >/dev/null || fail "swayidle: the screensaver did not start after 1 s idle"
# Shot again until the field is there (a slow machine, the sanitizers), up to 8 s.
for _ in $(seq 8); do
  sleep 1
  shot "$work/idle.png" -o HEADLESS-1
  field_in "$work/idle.png" $(identify -format '%w %h' "$work/idle.png") && break
done
field_in "$work/idle.png" $(identify -format '%w %h' "$work/idle.png") || fail "swayidle: no field on the output"
as wtype -s 1500 -k a
for _ in $(seq 50); do [ -s "$rt/saver.status" ] && break; sleep 0.1; done
[ "$(cat "$rt/saver.status" 2>/dev/null)" = 0 ] && tail -3 "$rt/saver.txt" | tr '\n' ' ' | grep -q "ShowCursor 1 -> 0 DeleteObject 4 DeleteObject 5" ||
  fail "swayidle: a key did not end the screensaver with status 0 and a clean shut-down (status '$(cat "$rt/saver.status" 2>/dev/null)'; $(cat "$rt/saver.err" 2>/dev/null))"
sleep 0.5
pgrep -f "$rt/squarefield --saver" >/dev/null && { fail "swayidle: a screensaver is left running"; pkill -9 -f "$rt/squarefield --saver"; }
stop_server $idle

# One field across two outputs, side by side and stacked, at scales 1 and 2:
# each output's shot is its part of the headless frame of the whole field
# (the outputs' bounding box in pixels).
# Usage: across NAME WIDTH HEIGHT X2 Y2  (the field's size; where HEADLESS-2's part starts)
across() {
  local name=$1 w=$2 h=$3 p k f one two
  AS_EXEC=1 as LSAN_OPTIONS=detect_leaks=0 "$rt/squarefield" --seed 5 --fps 4 --trace "$rt/$name.txt" 2>"$work/err" &
  p=$!
  keep_pid $p
  sleep 3
  kill -STOP $p
  sleep 0.3
  shot "$work/$name-1.png" -o HEADLESS-1
  shot "$work/$name-2.png" -o HEADLESS-2
  kill -TERM $p
  kill -CONT $p
  wait $p
  k=$(frames_in "$rt/$name.txt")
  for f in $k $((k - 1)) $((k + 1)); do
    "$bin" --headless --size "${w}x$h" --seed 5 --frames "$f" --png "$work/whole.png" 2>/dev/null
    convert "$work/whole.png" -crop "1280x720+0+0" +repage "$work/part-1.png"
    convert "$work/whole.png" -crop "1280x720+$4+$5" +repage "$work/part-2.png"
    one=$(compare -metric AE "$work/$name-1.png" "$work/part-1.png" null: 2>&1)
    two=$(compare -metric AE "$work/$name-2.png" "$work/part-2.png" null: 2>&1)
    [ "$one" = 0 ] && [ "$two" = 0 ] && { echo "$name: each output is its part of the headless frame $f of ${w}x$h"; return 0; }
    [ "$f" = "$k" ] && why="$one and $two pixels differ"
  done
  fail "$name: the outputs are not their parts of the headless frame $k of ${w}x$h ($why; trace: $(head -1 "$rt/$name.txt"))"
}
msg output HEADLESS-1 resolution 1280x720 position 0 0 scale 1 >/dev/null
msg output HEADLESS-2 resolution 1280x720 position 1280 0 scale 1 >/dev/null
across side-by-side 2560 720 1280 0
msg output HEADLESS-2 scale 2 >/dev/null
across side-by-side-scale-2 2560 720 1280 0
msg output HEADLESS-2 position 0 720 scale 1 >/dev/null
across stacked 1280 1440 0 720

# An output taken away, then the compositor gone. A nested compositor with two
# outputs, each a window of the outer one: closing a window removes its output.
AS_EXEC=1 as WLR_BACKENDS=wayland WLR_WL_OUTPUTS=2 sway -c "$rt/config" >"$rt/inner.log" 2>&1 &
inner=$!
keep_pid $inner
await_socket "$rt/inner.log"
for _ in $(seq 100); do [ "$(ls "$rt"/sway-ipc.* | wc -l)" = 2 ] && break; sleep 0.1; done
inner_sock=$(ls "$rt"/sway-ipc.* | grep -v "^$sock$")
wl=$socket
AS_EXEC=1 as LSAN_OPTIONS=detect_leaks=0 "$rt/squarefield" --fps 60 2>"$work/err" &
pid=$!
keep_pid $pid
inner_outputs() { as SWAYSOCK="$inner_sock" swaymsg -t get_outputs | grep -c '"name": "WL-'; }
for _ in $(seq 8); do
  sleep 1
  shot "$work/wl1.png" -o WL-1 && shot "$work/wl2.png" -o WL-2 &&
    field_in "$work/wl1.png" $(identify -format '%w %h' "$work/wl1.png") &&
    field_in "$work/wl2.png" $(identify -format '%w %h' "$work/wl2.png") && break
done
field_in "$work/wl1.png" $(identify -format '%w %h' "$work/wl1.png") && field_in "$work/wl2.png" $(identify -format '%w %h' "$work/wl2.png") ||
  fail "nested compositor: not both outputs covered"
wl=
msg '[title="wlroots - WL-2"] kill' >/dev/null
for _ in $(seq 50); do [ "$(inner_outputs)" = 1 ] && break; sleep 0.1; done
[ "$(inner_outputs)" = 1 ] || fail "closing the nested compositor's window did not remove its output"
wl=$socket
sleep 1.5
kill -0 $pid 2>/dev/null || fail "an output removed: the program ended"
shot "$work/left.png" -o WL-1
field_in "$work/left.png" $(identify -format '%w %h' "$work/left.png") || fail "an output removed: the one left is not covered"
kill -9 $inner
wait $inner 2>/dev/null
for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
kill -0 $pid 2>/dev/null && { kill -9 $pid; fail "the compositor gone: the program runs on"; }
wait $pid
status=$?
[ "$status" = 1 ] && [ "$(cat "$work/err")" = "squarefield: lost the connection to the display" ] ||
  fail "the compositor gone: status $status (not 1), and said '$(cat "$work/err")'"
finish_tests wayland
