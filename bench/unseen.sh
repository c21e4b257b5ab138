#!/usr/bin/env bash
# Nothing seen, nothing spent: the program's CPU at --fps 60 while nothing of
# the field can be seen, and the frames it draws in the 2 s after it can be
# again, on each path this machine can show: X11 (Xvfb) with another window
# over it, native Wayland (headless sway, as nobody) with its workspace
# switched away (X11 with its monitors asleep where the server has DPMS), the page hidden at the default pace and at ?fps=60 and ?fps=0.
# Targets: <= 0.2 % of a core and at most one wake-up a second (voluntary
# context switches) while unseen; >= 100 frames in the 2 s after.
# Usage: bench/unseen.sh   (after: cmake --workflow --preset default; as root)
set -eu
cd "$(dirname "$0")/.."
build=$(realpath "${BUILD:-build/default}")
source tests/lib.sh
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
row() { printf '| %-34s | %-40s | %-24s |\n' "$1" "$2" "$3"; }
echo "| path                               | unseen; frames in the 2 s after          | targets                  |"
echo "|------------------------------------|------------------------------------------|--------------------------|"

# One run: seen for 2 s, unseen for 11 s (the last 10 measured), then seen for
# 2 s more when AFTER is set. HIDE and SHOW are commands; RUN starts the program
# in the background with the trace file as its last argument. Prints the CPU
# share and the wake-ups a second while unseen, and the frames drawn.
switches() { awk '/^voluntary_ctxt_switches/ { print $2 }' "/proc/$1/status"; }
trial() {
  local after=$1 trace=$work/trial.txt pid t0 t1 w0 w1
  $RUN "$trace" &
  pid=$!
  sleep 2
  $HIDE
  sleep 1
  t0=$(ticks $pid); w0=$(switches $pid)
  sleep 10
  t1=$(ticks $pid); w1=$(switches $pid)
  $SHOW
  [ "$after" = 1 ] && sleep 2
  kill -TERM $pid
  wait $pid || true
  echo "$(awk -v t=$((t1 - t0)) -v hz="$hz" 'BEGIN { printf "%.2f", 100 * t / hz / 10 }') $(frames_in "$trace") $(awk -v w=$((w1 - w0)) 'BEGIN { printf "%.1f", w / 10 }')"
}
# Both runs, the one without the 2 s after and the one with: the difference is
# the frames drawn after being seen again.
measure() {
  local a b
  read -r share_a frames_a wakes_a < <(trial 0)
  read -r share_b frames_b wakes_b < <(trial 1)
  row "$1" "$(awk -v a="$share_a" -v b="$share_b" 'BEGIN { printf "%.2f%%", (a > b ? a : b) }') of a core, $(awk -v a="$wakes_a" -v b="$wakes_b" 'BEGIN { print (a > b ? a : b) }') wake-ups/s; $((frames_b - frames_a)) frames" "<= 0.2%, <= 1/s; >= 100 frames"
}

# X11: a window of another program's over the whole screen.
start_xvfb 1280x720
RUN() { exec "$build/squarefield" --fps 60 --trace "$1"; }
cover=
HIDE() { "$build/tests/x_window" 1280 720 0 0 >/dev/null & cover=$!; }
SHOW() { kill "$cover"; wait "$cover" 2>/dev/null || true; }
RUN=RUN HIDE=HIDE SHOW=SHOW measure "X11, covered"
# The monitors asleep (DPMS) wait the same way, where the X server has DPMS to
# force off; Xvfb, Xephyr and Xorg's dummy driver have none.
if xdpyinfo -display "$display" -queryExtensions 2>/dev/null | grep -q "DPMS"; then
  echo "note: this X server has DPMS; force it off with xset dpms force off to measure it"
else
  row "X11, monitors asleep (DPMS)" "not measured: this X server has no DPMS" "<= 0.2%; >= 100 frames"
fi
stop_server "$xvfb"

# Native Wayland: the workspace switched away.
rt=$(mktemp -d)
chown nobody "$rt"; chmod 700 "$rt"
printf 'output HEADLESS-1 resolution 1280x720\ndefault_border none\n' >"$rt/config"
cp "$build/squarefield" "$rt/"
chmod 755 "$rt/squarefield"; chmod 644 "$rt/config"
wl=
as() { exec setpriv --reuid=nobody --regid=nogroup --clear-groups env -i PATH=/usr/bin:/bin HOME="$rt" XDG_RUNTIME_DIR="$rt" \
     WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 ${wl:+WAYLAND_DISPLAY=$wl} "$@"; }
as sway -c "$rt/config" >/dev/null 2>&1 &
sway=$!
keep_pid $sway
for _ in $(seq 100); do ls "$rt"/wayland-[0-9] >/dev/null 2>&1 && break; sleep 0.1; done
wl=$(basename "$(ls "$rt"/wayland-[0-9] | head -1)")
msg() { (as SWAYSOCK="$(ls "$rt"/sway-ipc.*)" swaymsg "$@" >/dev/null); }
RUNW() { as "$rt/squarefield" --fps 60 --trace "$rt/trial.txt"; }
trial_wayland() { RUN=RUNW HIDE="msg workspace 2" SHOW="msg workspace 1" work="$rt" measure "Wayland, another workspace"; }
trial_wayland
stop_server $sway
rm -rf "$rt"

# The page, hidden, at three paces.
if command -v chromium >/dev/null && [ -f build/page/page.wasm ] && [ -f build/web/page-asyncify.wasm ]; then
  mkdir "$work/site"
  cp docs/web/index.html docs/web/index.js docs/web/index.css docs/web/favicon.png docs/web/program.js build/page/page.js build/page/page.wasm build/web/page-asyncify.js build/web/page-asyncify.wasm "$work/site/"
  (cd "$work/site" && exec /usr/bin/python3 -u -m http.server 0 --bind 127.0.0.1) >"$work/server.log" 2>&1 &
  keep_pid $!
  for _ in $(seq 50); do grep -q "port [0-9]*" "$work/server.log" && break; sleep 0.1; done
  url="http://127.0.0.1:$(grep -o "port [0-9]*" "$work/server.log" | head -1 | cut -d' ' -f2)/index.html"
  field() { /usr/bin/python3 -c "import json, sys; print(json.loads(sys.argv[1])[sys.argv[2]])" "$1" "$2"; }
  for query in "" "?fps=60" "?fps=0"; do
    hid=$(/usr/bin/python3 tests/web_drive.py hidden "$url$query")
    row "page$query, hidden" "main thread $(field "$hid" main_thread_percent_hidden)%; $(field "$hid" frames_in_2s_after) frames" "<= 0.2%; >= 100 frames"
  done
fi
