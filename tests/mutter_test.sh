#!/usr/bin/env bash
# GNOME's compositor (mutter), headless with two virtual monitors, in a D-Bus
# session of its own: the field spans both (its size is theirs side by side),
# Escape typed through mutter's remote-desktop interface ends it cleanly,
# --wallpaper is refused with status 2 (no background layer for clients), and
# the compositor's end ends the run with status 1. mutter alone offers no
# screenshot to a client (that is its shell's), so the picture itself is
# judged on the other compositors. Usage: mutter_test.sh path/to/squarefield
bin=${1:?}
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/wayland_lib.sh"
need mutter mutter mutter
need mutter dbus dbus-run-session
/usr/bin/python3 -c 'import dbus' 2>/dev/null || cannot_run mutter "no D-Bus for Python (package python3-dbus)"
wayland_rig mutter "$bin"
cp "$(dirname "$0")/mutter_keys.py" "$rt/"
cat >"$rt/start.sh" <<'SCRIPT'
#!/bin/sh
# Inside the compositor's D-Bus session: its address, for the keys.
echo "$DBUS_SESSION_BUS_ADDRESS" >"$XDG_RUNTIME_DIR/bus"
echo $$ >"$XDG_RUNTIME_DIR/mutter.pid"
exec mutter "$@"
SCRIPT
chmod 755 "$rt/start.sh"; chmod 644 "$rt/mutter_keys.py"
AS_EXEC=1 as dbus-run-session -- "$rt/start.sh" --wayland --headless --no-x11 --virtual-monitor 1280x720 \
  --virtual-monitor 1280x720 --wayland-display wayland-mutter >"$rt/mutter.log" 2>&1 &
keep_pid $!
await_socket "$rt/mutter.log"
wl=$socket
sleep 1

AS_EXEC=1 as LSAN_OPTIONS=detect_leaks=0 "$rt/squarefield" --fps 30 --trace "$rt/run.txt" 2>"$work/err" &
pid=$!
keep_pid $pid
sleep 2
as DBUS_SESSION_BUS_ADDRESS="$(cat "$rt/bus")" /usr/bin/python3 "$rt/mutter_keys.py" 1
for _ in $(seq 30); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
kill -0 $pid 2>/dev/null && { kill -9 $pid; fail "mutter: Escape did not end it"; }
wait $pid
status=$?
echo "mutter: $(head -1 "$rt/run.txt"), $(frames_in "$rt/run.txt") frames"
head -1 "$rt/run.txt" | grep -q " 2560x720$" || fail "mutter: the field is not the two monitors side by side: $(head -1 "$rt/run.txt")"
[ "$status" = 0 ] && tail -3 "$rt/run.txt" | tr '\n' ' ' | grep -q "ShowCursor 1 -> 0 DeleteObject 4 DeleteObject 5" ||
  fail "mutter: Escape: status $status, no clean shut-down; $(cat "$work/err")"

wallpaper_refused

AS_EXEC=1 as LSAN_OPTIONS=detect_leaks=0 "$rt/squarefield" --fps 30 2>"$work/err" &
pid=$!
keep_pid $pid
sleep 1.5
dies_with_compositor mutter $pid "$(cat "$rt/mutter.pid")"
finish_tests mutter
