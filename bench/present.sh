#!/usr/bin/env bash
# What presenting costs, program plus its display server, side by side in one
# run with a bare client of the same path (the least a client needs to show
# 400 moving squares a frame): share of one core over SECONDS after 2 s, at
# --fps 60, at 1920x1080 and 3840x2160. Each pair is measured ROUNDS times,
# alternating, and the medians compared.
#  - Wayland: headless sway (pixman), as nobody; bench/bare_wayland.
#    Target: program + compositor <= 1.25x the bare client.
#  - X11: Xvfb; bench/bare_present 2 (server-side fills: one XFillRectangles of
#    the last frame's squares in black, one of this frame's in white).
#    Target: program + X server <= 1.25x the bare client.
# Usage: bench/present.sh [SECONDS]   (after: cmake --workflow --preset default; as root)
set -eu
seconds=${1:-8}
rounds=${ROUNDS:-3}
build=$(realpath "${BUILD:-build/default}")
source "$(dirname "$0")/../tests/lib.sh"
ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# Share of a core of PIDS over the window: sleeps 2 s first.
share() {
  local a=0 b=0 p
  sleep 2
  for p in "$@"; do a=$((a + $(ticks "$p"))); done
  sleep "$seconds"
  for p in "$@"; do b=$((b + $(ticks "$p"))); done
  awk -v t=$((b - a)) -v hz="$hz" -v s="$seconds" 'BEGIN { printf "%.2f\n", 100 * t / hz / s }'
}

wayland() {
  local size=$1 rt sway bare ours
  rt=$(mktemp -d)
  chown nobody "$rt"; chmod 700 "$rt"
  printf 'output HEADLESS-1 resolution %s\ndefault_border none\n' "$size" >"$rt/config"
  chmod 644 "$rt/config"
  cp "$build/squarefield" "$build/bench/bare_wayland" "$rt/"
  chmod 755 "$rt/squarefield" "$rt/bare_wayland"
  as() { exec setpriv --reuid=nobody --regid=nogroup --clear-groups env -i PATH=/usr/bin:/bin HOME="$rt" XDG_RUNTIME_DIR="$rt" \
       WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 ${wl:+WAYLAND_DISPLAY=$wl} "$@"; }
  wl=
  as sway -c "$rt/config" >/dev/null 2>&1 &
  sway=$!
  keep_pid $sway
  for _ in $(seq 100); do ls "$rt"/wayland-[0-9] >/dev/null 2>&1 && break; sleep 0.1; done
  wl=$(basename "$(ls "$rt"/wayland-[0-9] | head -1)")
  : >"$work/bare" ; : >"$work/ours"
  for _ in $(seq "$rounds"); do
    as "$rt/bare_wayland" $((seconds + 3)) &
    bare=$!
    share $bare $sway >>"$work/bare"
    wait $bare || true
    as "$rt/squarefield" --fps 60 &
    ours=$!
    share $ours $sway >>"$work/ours"
    kill -TERM $ours; wait $ours || true
  done
  stop_server $sway
  rm -rf "$rt"
  report "Wayland $size" "<= 1.25x"
}

x11() {
  local size=$1 bare ours
  start_xvfb "$size"
  : >"$work/bare" ; : >"$work/ours"
  for _ in $(seq "$rounds"); do
    "$build/bench/bare_present" 2 "${size%x*}" "${size#*x}" $((seconds + 3)) &
    bare=$!
    share $bare $xvfb >>"$work/bare"
    wait $bare || true
    "$build/squarefield" --fps 60 &
    ours=$!
    share $ours $xvfb >>"$work/ours"
    kill -TERM $ours; wait $ours || true
  done
  stop_server $xvfb
  report "X11 $size" "<= 1.25x"
}

report() {
  local b o
  b=$(median <"$work/bare"); o=$(median <"$work/ours")
  printf '| %-20s | %7s%% | %7s%% | %6s | %-9s |\n' "$1" "$b" "$o" "$(awk -v o="$o" -v b="$b" 'BEGIN { printf "%.2fx", (b > 0 ? o / b : 0) }')" "$2"
}

echo "| path                 | bare     | ours     | ratio  | target    |"
echo "|----------------------|----------|----------|--------|-----------|"
for size in 1920x1080 3840x2160; do
  wayland "$size"
  x11 "$size"
done
