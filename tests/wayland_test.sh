#!/usr/bin/env bash
# Native Wayland in a real compositor (sway, headless, software rendering),
# with no X server: the field full-screen, following an output's new size and
# a second output, and Escape ending it cleanly. The compositor refuses root:
# it and the program run as nobody. Usage: wayland_test.sh path/to/squarefield
bin=${1:?}
source "$(dirname "$0")/lib.sh"
[ "$(id -u)" = 0 ] || cannot_run wayland "needs root to run the compositor as nobody"
need wayland sway sway swaymsg
need wayland grim grim
need wayland wtype wtype
rt=$(mktemp -d)
on_exit() { rm -rf "$rt"; }
chown nobody "$rt"; chmod 700 "$rt"
printf 'output HEADLESS-1 resolution 1280x720\ndefault_border none\n' >"$rt/config"
cp "$bin" "$rt/squarefield"
chmod 755 "$rt/squarefield"; chmod 644 "$rt/config"
# With AS_EXEC set (for a process started in the background) it replaces the
# subshell, so that $! is the process itself and the exit trap ends it.
as() {
  ${AS_EXEC:+exec} setpriv --reuid=nobody --regid=nogroup --clear-groups env -i PATH=/usr/bin:/bin HOME="$rt" XDG_RUNTIME_DIR="$rt" \
    WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 ${wl:+WAYLAND_DISPLAY=$wl} "$@"
}
wl=
AS_EXEC=1 as sway -c "$rt/config" >"$rt/sway.log" 2>&1 &
keep_pid $!
for _ in $(seq 100); do ls "$rt"/wayland-[0-9] >/dev/null 2>&1 && break; sleep 0.1; done
wl=$(basename "$(ls "$rt"/wayland-[0-9] 2>/dev/null | head -1)")
[ -n "$wl" ] || { echo "FAIL: sway did not start: $(tail -3 "$rt/sway.log")"; exit 1; }
msg() { as SWAYSOCK="$(ls "$rt"/sway-ipc.*)" swaymsg "$@"; }
shot() { as grim "$rt/shot.png" && cp "$rt/shot.png" "$1"; }

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
finish_tests wayland
