#!/usr/bin/env bash
# The reference compositor (weston), headless with its software renderer: the
# picture on screen is the headless one of the same seed and frame (shot by its
# own screenshooter, which --debug allows), --wallpaper is refused with status
# 2 (it has no background layer for clients), and its end ends the run with
# status 1. It takes no virtual keyboard, so Escape is left to the other tests.
# Usage: weston_test.sh path/to/squarefield
bin=${1:?}
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/wayland_lib.sh"
need weston weston weston weston-screenshooter
wayland_rig weston "$bin"
AS_EXEC=1 as weston --backend=headless-backend.so --use-pixman --width=1280 --height=720 --debug \
  >"$rt/weston.log" 2>&1 &
weston=$!
keep_pid $weston
await_socket "$rt/weston.log"
wl=$socket
# The screenshooter writes its picture into the folder it runs in.
shot() {
  rm -f "$rt"/wayland-screenshot-*.png
  (cd "$rt" && as timeout 20 weston-screenshooter) && cp "$rt"/wayland-screenshot-*.png "$1"
}
exact weston 1280 720

wallpaper_refused

AS_EXEC=1 as LSAN_OPTIONS=detect_leaks=0 "$rt/squarefield" --fps 30 --trace "$rt/run.txt" 2>"$work/err" &
pid=$!
keep_pid $pid
sleep 2
dies_with_compositor weston $pid $weston
frames=$(frames_in "$rt/run.txt" 2>/dev/null)
[ "${frames:-0}" -ge 20 ] || fail "weston: ${frames:-no} frames in 2 s at --fps 30"
finish_tests weston
