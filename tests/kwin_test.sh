#!/usr/bin/env bash
# KDE's compositor, headless (its virtual backend, composited with OpenGL in
# software): the picture on screen is the headless one of the same seed and
# frame at scale 1 and 1.5 and across two outputs; --wallpaper lies below an
# ordinary window; the compositor's end ends the run with status 1. KWin runs
# as nobody in a D-Bus session of its own, which its screenshots go through.
# Usage: kwin_test.sh path/to/squarefield
bin=${1:?}
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/wayland_lib.sh"
need kwin kwin-wayland kwin_wayland
need kwin dbus dbus-run-session
/usr/bin/python3 -c 'import dbus' 2>/dev/null || cannot_run kwin "no D-Bus for Python (package python3-dbus)"
/usr/bin/python3 -c 'import gi; gi.require_version("Gtk", "3.0")' 2>/dev/null ||
  cannot_run kwin "no GTK for Python (packages python3-gi, gir1.2-gtk-3.0)"
wayland_rig kwin "$bin"
# The binary's file capability makes an unprivileged exec fail: a copy has
# none. Its own platform plugin answers only to the name kwin_wayland.
cp "$(command -v kwin_wayland)" "$rt/kwin_wayland"
cp "$(dirname "$0")/kwin_shot.py" "$(dirname "$0")/plain_window.py" "$rt/"
cat >"$rt/start.sh" <<'SCRIPT'
#!/bin/sh
# Inside the compositor's D-Bus session: its address, for the screenshots.
echo "$DBUS_SESSION_BUS_ADDRESS" >"$XDG_RUNTIME_DIR/bus"
echo $$ >"$XDG_RUNTIME_DIR/kwin.pid"
exec "$XDG_RUNTIME_DIR/kwin_wayland" "$@"
SCRIPT
chmod 755 "$rt/kwin_wayland" "$rt/start.sh"; chmod 644 "$rt/kwin_shot.py" "$rt/plain_window.py"

# Starts KWin with one or more virtual outputs of 1280x720 pixels; sets $kwin
# (the D-Bus session's pid, which ends the compositor with it) and $wl.
# Usage: start_kwin NAME [OPTION...]
start_kwin() {
  wl=
  rm -f "$rt/bus"
  AS_EXEC=1 as KWIN_SCREENSHOT_NO_PERMISSION_CHECKS=1 dbus-run-session -- "$rt/start.sh" --virtual --width 1280 --height 720 \
    --no-lockscreen --no-global-shortcuts --no-kactivities --socket "$1" "${@:2}" >"$rt/kwin.log" 2>&1 &
  kwin=$!
  keep_pid $kwin
  await_socket "$rt/kwin.log"
  for _ in $(seq 50); do [ -s "$rt/bus" ] && break; sleep 0.1; done
  wl=$socket
  sleep 2  # its desktop set up behind the socket
}
# KWin alone is stopped: its D-Bus session then ends by itself, and takes its
# bus daemon along (stopped with it, the session would leave the daemon behind).
stop_kwin() {
  kill "$(cat "$rt/kwin.pid")" 2>/dev/null
  wait $kwin 2>/dev/null
}
shot() { as DBUS_SESSION_BUS_ADDRESS="$(cat "$rt/bus")" /usr/bin/python3 "$rt/kwin_shot.py" "$rt/shot.png" && cp "$rt/shot.png" "$1"; }

start_kwin wayland-kwin-1
exact scale-1 1280 720

# The wallpaper below an ordinary window: no field over the window, the field
# around it; then the compositor killed: status 1 and one line.
AS_EXEC=1 as LSAN_OPTIONS=detect_leaks=0 "$rt/squarefield" --wallpaper --fps 30 2>"$work/err" &
pid=$!
keep_pid $pid
sleep 1
AS_EXEC=1 as GDK_BACKEND=wayland /usr/bin/python3 "$rt/plain_window.py" 8 >/dev/null 2>"$rt/gtk.err" &
plain=$!
keep_pid $plain
sleep 3
shot "$work/wallpaper.png"
# Where the compositor placed the window is its own choice: the red's box.
box=$(convert "$work/wallpaper.png" -fill black +opaque red -format '%@' info:)
read -r bw bh bx by < <(echo "$box" | tr 'x+' '  ')
inside=$(convert "$work/wallpaper.png" -crop "$((bw - 20))x$((bh - 20))+$((bx + 10))+$((by + 10))" +repage -format '%[fx:minima.r] %[fx:maxima.g] %[fx:maxima.b]' info:)
echo "wallpaper: the window's red at $box"
[ "$bw" -ge 300 ] && [ "$bh" -ge 200 ] && [ "$inside" = "1 0 0" ] || fail "wallpaper: the field shows over the window ($box: $inside)"
white=$(convert "$work/wallpaper.png" -fill black -draw "rectangle $bx,$by $((bx + bw)),$((by + bh))" -format '%[fx:mean]' info:)
awk -v m="$white" 'BEGIN { exit !(m > 0.0005) }' || fail "wallpaper: no field around the window"
stop_server $plain
kill -0 $pid 2>/dev/null || fail "wallpaper: ended early"
dies_with_compositor "kwin" $pid "$(cat "$rt/kwin.pid")"
stop_kwin

# A fractional scale: the buffer in the output's own pixels, shown one to one.
start_kwin wayland-kwin-2 --scale 1.5
exact scale-1.5 1920 1080
stop_kwin

# Two outputs side by side: one field across both.
start_kwin wayland-kwin-3 --output-count 2
exact two-outputs 2560 720
stop_kwin
finish_tests kwin
