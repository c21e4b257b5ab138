#!/usr/bin/env bash
# Every performance figure in one run, as a table: the headless frame step
# against the yardstick (median of back-to-back pairs) and in instructions per
# frame (callgrind, two run lengths so start-up cancels), the SDL host against
# headless under Xvfb, the Windows build under Wine beside a bare FillRect loop,
# presenting beside bare clients replaying the same fills (present.sh), and the GIF's
# bytes per second of animation. Compare ratios only: this kind
# of machine is shared and noisy.
# Usage: bench/all.sh   (builds what it needs; ROUNDS=5 for the duel)
set -eu
cd "$(dirname "$0")/.."
source tests/lib.sh
on_exit() { /usr/lib/wine/wineserver -k 2>/dev/null; }
{ [ -f build/default/build.ninja ] || cmake --preset default; cmake --build --preset default; } >/dev/null
rows=()
row() { rows+=("$(printf '| %-34s | %-48s | %-28s |' "$1" "$2" "$3")"); }

# The headless duel at 1920x1080.
duel=$(bench/run.sh 20000 1920x1080)
median=$(sed -n 's/^median of [0-9]* paired ratios: //p' <<<"$duel")
ours=$(grep '^squarefield:' <<<"$duel" | sed -n 's/.*: \([0-9]*\) frames\/s.*/\1/p' | sort -n | tail -1)
row "headless, 1920x1080" "best $ours frames/s; $median of the yardstick's (paired median)" ">= 1.5x the yardstick"

# Instructions per frame, start-up cancelled.
if command -v valgrind >/dev/null; then
  per_frame() {
    local a b
    a=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "$1" 200 1920 1080 2>&1 >/dev/null | sed -n 's/.*refs: *//p' | tr -d ,)
    b=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null "$1" 400 1920 1080 2>&1 >/dev/null | sed -n 's/.*refs: *//p' | tr -d ,)
    echo $(((b - a) / 200))
  }
  i_ours=$(per_frame build/default/bench/squarefield_bench)
  i_ref=$(per_frame build/default/bench/ref_frame)
  row "instructions per frame, 1920x1080" "$i_ours vs the yardstick's $i_ref: $(awk -v a="$i_ours" -v b="$i_ref" 'BEGIN { printf "%.2f", a / b }')x" "<= 0.8x the yardstick's"
fi

# The SDL host against headless.
sdl=$(bench/desktop_fps.sh 30000 1920x1080)
row "SDL under Xvfb, 1920x1080" "$(sed -n 's/^ratio: //p' <<<"$sdl"); $(sed -n 's/^--fps 60: \([0-9.]*%\).*/\1 of a core at --fps 60/p' <<<"$sdl")" ">= 0.6 of headless"

# Presenting beside a bare client replaying the same fills: Wayland (sway, KWin) and X11 (Xvfb).
if [ "$(id -u)" = 0 ] && command -v sway >/dev/null; then
  while IFS='|' read -r _ path floor ours ratio _; do
    row "present: $(xargs <<<"$path")" "ours $(xargs <<<"$ours"), replay floor $(xargs <<<"$floor"): $(xargs <<<"$ratio")" "<= 1.25x"
  done < <(bench/present.sh 8 | grep '^| ' | tail -n +3)
fi

# The page in headless Chromium.
if command -v chromium >/dev/null && command -v emcc >/dev/null; then
  while IFS= read -r line; do rows+=("$line"); done < <(bench/web_page.sh)
fi

# The Windows build under Wine, beside a bare loop of the same FillRect calls.
if [ -x /usr/lib/wine/wine64 ] && command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
  { cmake --preset windows -DSQUAREFIELD_BENCH=ON && cmake --build --preset windows; } >/dev/null
  export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=" WINEPREFIX="$work/prefix"
  wine=/usr/lib/wine/wine64
  start_xvfb 1024x768
  "$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  /usr/lib/wine/wineserver -w 2>/dev/null || true
  timed() { local t0 t1; t0=$(date +%s.%N); "$wine" "$@" >/dev/null 2>&1; t1=$(date +%s.%N); awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }'; }
  timed build/windows/squarefield.exe --frames 100 >/dev/null  # the first start is slow
  p1=$(timed build/windows/squarefield.exe --frames 2000); p2=$(timed build/windows/squarefield.exe --frames 4000)
  l1=$(timed build/windows/bench/fillrect_loop.exe 2000); l2=$(timed build/windows/bench/fillrect_loop.exe 4000)
  row "Windows under Wine, 1024x768" "$(awk -v a="$p1" -v b="$p2" -v c="$l1" -v d="$l2" 'BEGIN { printf "%.0f frames/s; a bare FillRect loop %.0f", 2000 / (b - a), 2000 / (d - c) }')" ">= 1,500 frames/s"
fi

# GIF bytes per second of animation at 640x480, 50 frames a second.
build/default/squarefield --headless --size 640x480 --frames 500 --seed 7 --fps 50 --gif "$work/b.gif"
row "GIF, 640x480 at 50 fps" "$(awk -v n="$(stat -c %s "$work/b.gif")" 'BEGIN { printf "%.1f KiB per second", n / 1024 / 10 }')" "<= 120 KiB/s"

printf '| %-34s | %-48s | %-28s |\n' "what" "measured" "target"
printf '|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..36})" "$(printf -- '-%.0s' {1..50})" "$(printf -- '-%.0s' {1..30})"
printf '%s\n' "${rows[@]}"
