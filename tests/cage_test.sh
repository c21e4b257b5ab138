#!/usr/bin/env bash
# A kiosk compositor (cage), run as a window of a headless sway so that what
# it shows can be shot: the picture is the headless one of the same seed and
# frame, it keeps moving at a pace below the display's, and Escape ends it
# (and with it the kiosk) with status 0. Usage: cage_test.sh path/to/squarefield
bin=${1:?}
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/wayland_lib.sh"
need cage cage cage
need cage sway sway
need cage grim grim
need cage wtype wtype
wayland_rig cage "$bin"
printf 'output HEADLESS-1 resolution 1280x720\ndefault_border none\n' >"$rt/config"
chmod 644 "$rt/config"
AS_EXEC=1 as sway -c "$rt/config" >"$rt/sway.log" 2>&1 &
keep_pid $!
await_socket "$rt/sway.log"
outer=$socket
shot() { wl=$outer as grim "$rt/shot.png" && cp "$rt/shot.png" "$1"; }

# Runs the program as cage's one client, cage a window filling sway's output;
# the program's status lands in $rt/status. Usage: kiosk OPTION...
kiosk() {
  rm -f "$rt/status"
  wls=$outer  # a kiosk ended took its socket with it
  printf '#!/bin/sh\nLSAN_OPTIONS=detect_leaks=0 "%s" "$@" 2>"%s"\necho $? >"%s"\n' "$rt/squarefield" "$rt/err" "$rt/status" >"$rt/app.sh"
  chmod 755 "$rt/app.sh"
  AS_EXEC=1 as WLR_BACKENDS=wayland cage -- "$rt/app.sh" "$@" >"$rt/cage.log" 2>&1 &
  cage=$!
  keep_pid $cage
  await_socket "$rt/cage.log"

}

# Exact: stopped between frames, shot through the outer compositor.
wl=$outer
kiosk --seed 5 --fps 4 --trace "$rt/exact.txt"
sleep 3
app=$(pgrep -u nobody -f "$rt/squarefield --seed 5")
kill -STOP "$app"
sleep 0.4
shot "$work/cage.png"
kill -TERM "$app"
kill -CONT "$app"
wait $cage
same_as_headless "$bin" cage "$work/cage.png" "$(frames_in "$rt/exact.txt")" 1280 720

# Moving: shots a second apart keep differing for 9 s at --fps 30.
kiosk --fps 30
sleep 1
shot "$work/moving-0.png"
changed=0
for i in $(seq 9); do
  sleep 1
  shot "$work/moving-$i.png"
  [ "$(compare -metric AE "$work/moving-$((i - 1)).png" "$work/moving-$i.png" null: 2>&1)" != 0 ] && changed=$((changed + 1))
done
echo "cage at --fps 30: $changed of 9 shots a second apart differ from the one before"
[ "$changed" = 9 ] || fail "cage: the picture stood still in $((9 - changed)) of 9 seconds"

# Escape, typed to the kiosk: the program ends with status 0, and cage with it.
# (cage takes no virtual keyboard: the key goes to its window in sway, which passes it on)
wl=$outer as wtype -s 1500 -k Escape
for _ in $(seq 50); do [ -s "$rt/status" ] && break; sleep 0.1; done
[ "$(cat "$rt/status" 2>/dev/null)" = 0 ] || fail "cage: Escape did not end it with status 0 (status '$(cat "$rt/status" 2>/dev/null)'; $(cat "$rt/err"))"
for _ in $(seq 30); do kill -0 $cage 2>/dev/null || break; sleep 0.1; done
kill -0 $cage 2>/dev/null && fail "cage: the kiosk runs on after its program ended"
finish_tests cage
