#!/usr/bin/env bash
# The page's figures, each beside its target: its files' size compressed, the
# first frame's time on a cold load from a local server, the whole browser's
# CPU share at the default pace at 1920x1080 beside the yardstick's in the
# same engine, in Chromium, Firefox ESR and WebKitGTK (and Chromium's main
# thread, and 3840x2160 there), the rate at ?fps=1000 and its cost beside the
# default pace's, and how soon Escape is seen at ?fps=0.1.
# One table row per figure on standard output. Usage: bench/web_page.sh
set -eu
cd "$(dirname "$0")/.."
source tests/lib.sh
export NODE_PATH=/usr/share/nodejs
{ cmake --preset web && cmake --build --preset web && cmake --preset page && cmake --build --preset page; } >/dev/null
mkdir "$work/site"
cp docs/web/index.html docs/web/index.js docs/web/index.css docs/web/favicon.png docs/web/program.js build/page/page.js build/page/page.wasm build/web/page-asyncify.js build/web/page-asyncify.wasm "$work/site/"
/usr/bin/python3 -u tests/page_server.py "$work/site" >"$work/server.log" 2>&1 &
keep_pid $!
for _ in $(seq 50); do grep -q "port [0-9]*" "$work/server.log" && break; sleep 0.1; done
url="http://127.0.0.1:$(grep -o "port [0-9]*" "$work/server.log" | head -1 | cut -d' ' -f2)/index.html"
row() { printf '| %-34s | %-48s | %-28s |\n' "$1" "$2" "$3"; }
field() { /usr/bin/python3 -c "import json, sys; print(json.loads(sys.argv[1])[sys.argv[2]])" "$1" "$2"; }

bytes=0
for f in index.html index.js index.css favicon.png program.js page.js page.wasm; do bytes=$((bytes + $(gzip -9c "$work/site/$f" | wc -c))); done
row "page, gzip-compressed" "$bytes bytes (index.html, .js, .css, favicon.png, program.js, page.js, page.wasm)" "<= 102400 bytes"
bytes=0
for f in index.html index.js index.css favicon.png program.js page-asyncify.js page-asyncify.wasm; do bytes=$((bytes + $(gzip -9c "$work/site/$f" | wc -c))); done
row "page without suspending, gzip" "$bytes bytes (with page-asyncify.js, .wasm)" "<= 102400 bytes"
look=$(/usr/bin/python3 tests/web_drive.py look "$url" "$work")
row "page, first frame (cold load)" "$(field "$look" first_frame_ms) ms after navigation" "<= 300 ms"
# Beside the yardstick (a plain script: fillRect per square into a
# desynchronized canvas), served from the same place at the same size in the
# same engine, in alternating rounds; medians compared.
yardstick=../shared/bench/web_yardstick.html
[ -f "$yardstick" ] && cp "$yardstick" "$work/site/"
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
for run in "chromium 1920 1080" "chromium 3840 2160" "firefox 1920 1080" "webkit 1920 1080"; do
  read -r engine width height <<<"$run"
  export SQUAREFIELD_ENGINE=$engine
  : >"$work/ours-main"; : >"$work/ours-all"; : >"$work/yard-main"; : >"$work/yard-all"
  for _ in $(seq "${ROUNDS:-3}"); do
    cpu=$(/usr/bin/python3 tests/web_drive.py cpu "$url" "$width" "$height")
    field "$cpu" main_thread_percent >>"$work/ours-main"; field "$cpu" browser_percent >>"$work/ours-all"
    [ -f "$work/site/web_yardstick.html" ] || continue
    yard=$(/usr/bin/python3 tests/web_drive.py cpu-other "${url%index.html}web_yardstick.html?mode=fill-desync" "$width" "$height")
    field "$yard" main_thread_percent >>"$work/yard-main"; field "$yard" browser_percent >>"$work/yard-all"
  done
  om=$(median <"$work/ours-main"); oa=$(median <"$work/ours-all")
  if [ ! -s "$work/yard-all" ]; then
    row "$engine CPU, default pace, ${width}x$height" "browser $oa% (no yardstick beside the checkout)" "<= 1.0x the yardstick"
  elif [ "$om" = None ]; then
    ya=$(median <"$work/yard-all")
    row "$engine CPU, default pace, ${width}x$height" "browser $oa% (yardstick $ya%: $(ratio "$oa" "$ya")x)" "<= 1.0x the yardstick"
  else
    ym=$(median <"$work/yard-main"); ya=$(median <"$work/yard-all")
    row "$engine CPU, default pace, ${width}x$height" "browser $oa% (yardstick $ya%: $(ratio "$oa" "$ya")x), main thread $om% ($ym%: $(ratio "$om" "$ym")x)" "<= 1.0x the yardstick, both"
  fi
done
unset SQUAREFIELD_ENGINE
fast=$(/usr/bin/python3 tests/web_drive.py rate "$url?fps=1000")
row "page at ?fps=1000" "$(field "$fast" frames_per_second) frames/s" ">= 800 frames/s"
# Faster than the display it waits as cheaply as at the display's pace: the
# whole browser (the program is in a worker) at ?fps=1000 against the default
# pace's, 800x600, medians of rounds.
: >"$work/fast-all"; : >"$work/paced-all"
for _ in $(seq "${ROUNDS:-3}"); do
  field "$(/usr/bin/python3 tests/web_drive.py cpu "$url?fps=1000" 800 600)" browser_percent >>"$work/fast-all"
  field "$(/usr/bin/python3 tests/web_drive.py cpu "$url" 800 600)" browser_percent >>"$work/paced-all"
done
fa=$(median <"$work/fast-all"); pa=$(median <"$work/paced-all")
row "page browser CPU, ?fps=1000, 800x600" "$fa% (default pace $pa%: $(awk -v a="$fa" -v b="$pa" 'BEGIN { printf "%.2f", a / b }')x)" "<= 2.5x the default pace's"
slow=$(/usr/bin/python3 tests/web_drive.py rate "$url?fps=0.1")
row "page at ?fps=0.1, Escape to stop" "$(field "$slow" stop_ms) ms" "<= 100 ms"
