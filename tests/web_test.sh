#!/usr/bin/env bash
# The web build, as a user meets it: built with Debian's emscripten, the page
# served on 127.0.0.1 and loaded in headless Chromium driven over the DevTools
# protocol (field on screen and following the window, Escape stops it and the
# page says so, a damaged program said so in one line, hosted under strict
# policies and in a sandboxed frame), its basics in Firefox ESR and WebKitGTK
# too, and the full build under node giving the Linux build's seeded trace
# byte for byte.
set -u
cd "$(dirname "$0")/.."
source tests/lib.sh
export NODE_PATH=/usr/share/nodejs  # Debian's emscripten finds its node modules there

cmake --preset web >/dev/null && cmake --build --preset web || exit 1
cmake --preset page >/dev/null && cmake --build --preset page || exit 1
[ -f build/default/build.ninja ] || cmake --preset default >/dev/null
cmake --build --preset default >/dev/null || exit 1

# Under node (whose own fetch cannot load a local file), the same options and the same bytes.
node --no-experimental-fetch build/web/squarefield.js --headless --size 1024x768 --frames 300 --seed 7 \
  --trace "$work/web.txt" --png "$work/web.png" || fail "headless run under node"
build/default/squarefield --headless --size 1024x768 --frames 300 --seed 7 --trace "$work/linux.txt" --png "$work/linux.png"
cmp -s "$work/web.txt" "$work/linux.txt" || fail "traces differ between the web and Linux builds"
cmp -s "$work/web.png" "$work/linux.png" || fail "images differ between the web and Linux builds"
node --no-experimental-fetch build/web/squarefield.js --frames 0 2>/dev/null
[ $? = 2 ] || fail "a bad option under node: not status 2"

# Under node, the Linux build's output guarantees, or a refusal at the option check.
sq_node() { node --no-experimental-fetch "$PWD/build/web/squarefield.js" "$@"; }
out="$work/node-out"
mkdir "$out"
sq_node --headless --size 1024x768 --frames 300 --seed 7 --png - | cat >"$out/piped.png"
cmp -s "$out/piped.png" "$work/linux.png" || fail "node: --png - through a pipe is not the Linux build's PNG"
(umask 022 && sq_node --headless --frames 2 --png "$out/new.png")
[ "$(stat -c %a "$out/new.png")" = 644 ] || fail "node: a new file has mode $(stat -c %a "$out/new.png") under umask 022"
mkfifo "$out/fifo"
sq_node --headless --frames 2 --trace "$out/fifo" 2>"$work/fifo.err"
status=$?
[ $status = 2 ] && [ -p "$out/fifo" ] && grep -q "pipe or a device" "$work/fifo.err" ||
  fail "node: --trace FIFO: status $status, and the FIFO $( [ -p "$out/fifo" ] && echo kept || echo replaced)"
for device in /dev/full /proc/squarefield.png; do
  sq_node --headless --frames 2 --png "$device" 2>/dev/null
  status=$?
  [ $status = 2 ] || fail "node: --png $device: status $status, not 2"
done
sq_node --headless --trace - --png "$out/never.png" | head -1 >/dev/null
status=${PIPESTATUS[0]}
[ "$status" = 141 ] || fail "node: a trace into a closed pipe: status $status, not 141"
env --default-signal node --no-experimental-fetch build/web/squarefield.js --headless --size 2000x1500 \
  --png "$out/stopped.png" &
runner=$!
keep_pid "$runner"
sleep 1.5
kill -TERM "$runner"
wait "$runner"
status=$?
[ $status = 0 ] || fail "node: SIGTERM mid-run: status $status, not 0"
pngcheck_size=$(identify -format %wx%h "$out/stopped.png" 2>/dev/null)
[ "$pngcheck_size" = 2000x1500 ] || fail "node: SIGTERM mid-run: the PNG is '$pngcheck_size', not a 2000x1500 picture"
# Every file in the folder is one the runs above were meant to make.
listing=$(cd "$out" && ls -A | tr '\n' ' ')
[ "$listing" = "fifo new.png piped.png stopped.png " ] || fail "node: the output folder holds: $listing"

# The page, served from this machine only, with the files docs/web holds.
site="$work/site"
mkdir "$site"
page_files="index.html index.js index.css favicon.png program.js"
for f in $page_files; do cp "docs/web/$f" "$site/"; done
cp build/page/page.js build/page/page.wasm build/web/page-asyncify.js build/web/page-asyncify.wasm "$site/"
# A visitor downloads the page and one of its two programs.
for program in page page-asyncify; do
  bytes=0
  for f in $page_files $program.js $program.wasm; do
    packed=$(gzip -9c "$site/$f" | wc -c)
    echo "$f: $(stat -c %s "$site/$f") bytes, $packed gzip-compressed"
    bytes=$((bytes + packed))
  done
  echo "the page with $program: $bytes bytes gzip-compressed"
  [ "$bytes" -le 102400 ] || fail "the page's files with $program are $bytes bytes compressed, more than 100 KB"
done
for f in page.js page.wasm page-asyncify.js page-asyncify.wasm; do
  cmp -s "$site/$f" "docs/web/$f" || echo "note: docs/web/$f is another build (scripts/build-web makes it again)"
done
# Damaged programs, each in a folder of its own.
# A folder of the page's files: FOLDER [HEADER-LINE...] (headers: tests/page_server.py).
page_folder() {
  local folder="$site/$1" f
  shift
  mkdir "$folder"
  for f in $page_files page.js page.wasm page-asyncify.js page-asyncify.wasm; do cp "$site/$f" "$folder/"; done
  [ $# = 0 ] || printf '%s\n' "$@" >"$folder/headers"
}
page_folder truncated
head -c 20000 "$site/page.wasm" >"$site/truncated/page.wasm"
page_folder missing
rm "$site/missing/page.wasm"
page_folder nojs
rm "$site/nojs/page.js"
# Hosted as a web designer might: the strict policy docs/web.md names, one
# without WebAssembly, one without workers, WebAssembly sent as bytes of no
# particular type, and a sandboxed frame (an opaque origin) on a server that
# lets any origin fetch.
strict="default-src 'self'; script-src 'self' 'wasm-unsafe-eval'; worker-src 'self'"
page_folder strict "Content-Security-Policy: $strict"
page_folder nowasm "Content-Security-Policy: default-src 'self'"
page_folder noworker "Content-Security-Policy: default-src 'self'; script-src 'self' 'wasm-unsafe-eval'; worker-src 'none'"
page_folder octet "Content-Type: application/octet-stream"
page_folder sandboxed "Access-Control-Allow-Origin: *"
echo '<!doctype html><iframe sandbox="allow-scripts" src="index.html" width="400" height="300"
  style="border: 0; position: fixed; left: 0; top: 0"></iframe>' >"$site/sandboxed/host.html"
/usr/bin/python3 -u tests/page_server.py "$site" >"$work/server.log" 2>&1 &
server=$!
keep_pid "$server"
for _ in $(seq 50); do grep -q "port [0-9]*" "$work/server.log" && break; sleep 0.1; done
port=$(grep -o "port [0-9]*" "$work/server.log" | head -1 | cut -d' ' -f2)
[ -n "$port" ] || { fail "the page server did not start"; finish_tests web; exit 1; }
base="http://127.0.0.1:$port"
value() { /usr/bin/python3 -c "import json, sys; print(json.loads(sys.argv[1]).get(sys.argv[2]))" "$1" "$2"; }

result=$(/usr/bin/python3 tests/web_drive.py look "$base/index.html" "$work") || fail "driving the page: $result"
echo "page: $result"
[ "$(value "$result" started)" = True ] || fail "the page drew no frame"
field_in "$work/running.png" 800 600 || fail "page: no field of squares in all four quadrants at 800x600"
[ "$(value "$result" small)" = "[640, 480]" ] || fail "page: at 640x480 the canvas is $(value "$result" small)"
{ field_in "$work/small.png" 640 480 || field_in "$work/small-later.png" 640 480; } || fail "page: no field in all four quadrants after the resize to 640x480"
[ "$(value "$result" dpr2)" = "[2560, 1440]" ] || fail "page: at 1280x720, ratio 2, the canvas is $(value "$result" dpr2)"
{ field_in "$work/dpr2.png" 2560 1440 || field_in "$work/dpr2-later.png" 2560 1440; } || fail "page: no field in all four quadrants at 1280x720, ratio 2"
grep -q "^Stopped" <<<"$(value "$result" status)" || fail "page: Escape did not stop it, or the page did not say so"
[ "$(value "$result" cursor_running)" = none ] && [ "$(value "$result" cursor_stopped)" = "" ] ||
  fail "page: the cursor over the canvas was '$(value "$result" cursor_running)' running, '$(value "$result" cursor_stopped)' stopped"
[ "$(compare -metric AE "$work/stopped-1.png" "$work/stopped-2.png" null: 2>&1)" = 0 ] ||
  fail "page: still moving after Escape"

# Exactness: the canvas between two frames of a seeded slow run is the
# headless picture of the same size, seed and frame (fills replayed, batched).
exact=$(/usr/bin/python3 tests/web_drive.py exact "$base/index.html?seed=5&fps=4" "$work") || fail "driving the seeded page: $exact"
echo "page?seed=5&fps=4: $exact"
[ "$(value "$exact" in_worker)" = True ] || fail "page: the program did not run in a worker"
same_as_headless build/default/squarefield "page" "$work/canvas.png" "$(value "$exact" frames)" 800 600
# And what the browser shows of it, a moment later (a frame lasts 250 ms).
same_as_headless build/default/squarefield "page, on screen" "$work/screen.png" "$(value "$exact" frames)" 800 600
# In a browser that cannot draw from a worker it runs beside the page, as exact.
exact=$(SQUAREFIELD_NO_WORKER_CANVAS=1 /usr/bin/python3 tests/web_drive.py exact "$base/index.html?seed=5&fps=300" "$work") ||
  fail "driving the seeded page without a worker: $exact"
echo "page?seed=5&fps=300, no worker: $exact"
[ "$(value "$exact" in_worker)" = False ] || fail "page: a worker, where the browser cannot draw from one"
[ "$(value "$exact" pictures_read)" -gt 0 ] || fail "page at fps=300 without a worker: the canvas was never read back"
same_as_headless build/default/squarefield "page-in-page" "$work/canvas.png" "$(value "$exact" frames)" 800 600
# Faster than the display, some presents replay and some pass the fills kept;
# after a replay the framebuffer has no pixels of its own, and reads the
# canvas back: exact too.
exact=$(/usr/bin/python3 tests/web_drive.py exact "$base/index.html?seed=5&fps=300" "$work") || fail "driving the seeded page at fps=300: $exact"
echo "page?seed=5&fps=300: $exact"
[ "$(value "$exact" pictures_read)" -gt 0 ] || fail "page at fps=300: the canvas was never read back (nothing tested)"
same_as_headless build/default/squarefield "page" "$work/canvas.png" "$(value "$exact" frames)" 800 600
# And in a browser that cannot suspend WebAssembly: the other program, as exact.
exact=$(SQUAREFIELD_NO_SUSPENDING=1 /usr/bin/python3 tests/web_drive.py exact "$base/index.html?seed=5&fps=4" "$work") ||
  fail "driving the seeded page without suspending: $exact"
echo "page?seed=5&fps=4, no suspending: $exact"
grep -q "page-asyncify.wasm" "$work/server.log" || fail "page: without suspending, page-asyncify.wasm was not loaded"
same_as_headless build/default/squarefield "page-asyncify" "$work/canvas.png" "$(value "$exact" frames)" 800 600

# Nothing seen, nothing spent: hidden, at every pace, the page draws no frame
# and goes on when shown again.
for query in "" "?fps=60" "?fps=0"; do
  hid=$(/usr/bin/python3 tests/web_drive.py hidden "$base/index.html$query") || fail "driving the hidden page$query: $hid"
  echo "page$query hidden: $hid"
  [ "$(value "$hid" frames_while_hidden)" -le 1 ] && [ "$(value "$hid" frames_in_2s_after)" -ge 100 ] ||
    fail "page$query hidden: $(value "$hid" frames_while_hidden) frames while hidden, $(value "$hid" frames_in_2s_after) in the 2 s after"
done

# The pace, fast and slow (the figures' targets are bench/web_page.sh's; these
# bounds catch a browser's clamped timeouts and a stop that waits for the frame).
fast=$(/usr/bin/python3 tests/web_drive.py rate "$base/index.html?fps=1000") || fail "driving ?fps=1000: $fast"
echo "page?fps=1000: $fast"
[ "$(value "$fast" frames_per_second)" -ge 600 ] || fail "page?fps=1000: $(value "$fast" frames_per_second) frames a second"
unpaced=$(/usr/bin/python3 tests/web_drive.py rate "$base/index.html?fps=0") || fail "driving ?fps=0: $unpaced"
echo "page?fps=0: $unpaced"
[ "$(value "$unpaced" frames_per_second)" -ge 400 ] || fail "page?fps=0: $(value "$unpaced" frames_per_second) frames a second"
slow=$(/usr/bin/python3 tests/web_drive.py rate "$base/index.html?fps=0.1") || fail "driving ?fps=0.1: $slow"
echo "page?fps=0.1: $slow"
awk -v t="$(value "$slow" stop_ms)" 'BEGIN { exit !(t != "None" && t < 1000) }' ||
  fail "page?fps=0.1: the stop took $(value "$slow" stop_ms) ms"

# A damaged or missing program: one line a visitor can read.
for folder in truncated missing; do
  said=$(/usr/bin/python3 tests/web_drive.py message "$base/$folder/index.html")
  echo "page, $folder page.wasm: $said"
  grep -q '"status": "squarefield could not start: its program (page.wasm) is missing or damaged. Reload the page to try again."' <<<"$said" ||
    fail "page, $folder page.wasm: not the one-line message"
done
said=$(/usr/bin/python3 tests/web_drive.py message "$base/nojs/index.html")
grep -q '"status": "squarefield could not start: its program (page.js) is missing' <<<"$said" ||
  fail "page, page.js missing: $said"
# The address's parameters, in its own words: a bad value, one given twice,
# and a name in capitals (which counts).
said=$(/usr/bin/python3 tests/web_drive.py message "$base/index.html?fps=abc")
grep -q "\"status\": \"the page's address, fps=abc: 'abc' is not 0 or a number" <<<"$said" || fail "page?fps=abc: $said"
said=$(/usr/bin/python3 tests/web_drive.py message "$base/index.html?fps=60&FPS=10")
grep -q "\"status\": \"the page's address gives fps twice (fps=60 and FPS=10)" <<<"$said" || fail "page?fps=60&FPS=10: $said"
fast=$(/usr/bin/python3 tests/web_drive.py rate "$base/index.html?FPS=1000")
[ "$(value "$fast" frames_per_second)" -ge 600 ] || fail "page?FPS=1000: not paced so: $fast"
# Opened from a file, it says it must be served.
said=$(/usr/bin/python3 tests/web_drive.py message "file://$site/index.html")
grep -q "must be served" <<<"$said" || fail "page from file://: $said"
# Its black is opaque: a saved or copied picture shows it black.
alpha=$(/usr/bin/python3 tests/web_drive.py probe "$base/index.html" "(() => { const c = document.getElementById('canvas');
  const copy = document.createElement('canvas'); copy.width = c.width; copy.height = c.height;
  const x = copy.getContext('2d'); x.drawImage(c, 0, 0); const d = x.getImageData(0, 0, c.width, c.height).data;
  let least = 255; for (let i = 3; i < d.length; i += 4) least = Math.min(least, d[i]); return least; })()")
[ "$(value "$alpha" value)" = 255 ] || fail "page: transparent pixels on the canvas: $alpha"
# In another page's frame it leaves that page's focus where it was.
echo '<!doctype html><link rel="icon" href="favicon.png"><input id="mine" autofocus><iframe src="index.html" width="400" height="300"></iframe>' >"$site/host.html"
focus=$(/usr/bin/python3 tests/web_drive.py probe "$base/host.html" "document.activeElement.id")
[ "$(value "$focus" value)" = mine ] || fail "page in a frame: took the host page's focus: $focus"
# Nothing the page asks for is missing (its icon included), but what the damaged pages above lack.
grep -v '/missing/page.wasm\|/nojs/page.js'"$work/server.log" | grep -q '" 404 ' && fail "the page asked for something not there: $(grep '" 404 ' "$work/server.log" | head -3)"

# Strict hosting: under the policy docs/web.md names it runs in its worker,
# exact; forbidding workers it runs beside the page, exact; forbidding
# WebAssembly it says which directive; sent as untyped bytes it runs.
exact=$(/usr/bin/python3 tests/web_drive.py exact "$base/strict/index.html?seed=5&fps=4" "$work") || fail "driving the strict page: $exact"
echo "page under $strict: $exact"
[ "$(value "$exact" in_worker)" = True ] || fail "page under a strict policy: not in its worker"
same_as_headless build/default/squarefield "page, strict policy" "$work/screen.png" "$(value "$exact" frames)" 800 600
exact=$(/usr/bin/python3 tests/web_drive.py exact "$base/noworker/index.html?seed=5&fps=4" "$work") || fail "driving the page without workers: $exact"
echo "page under worker-src 'none': $exact"
[ "$(value "$exact" in_worker)" = False ] || fail "page under worker-src 'none': in a worker?"
same_as_headless build/default/squarefield "page, no workers allowed" "$work/screen.png" "$(value "$exact" frames)" 800 600
said=$(/usr/bin/python3 tests/web_drive.py message "$base/nowasm/index.html")
grep -q "Content-Security-Policy does not allow WebAssembly (script-src needs 'wasm-unsafe-eval')" <<<"$said" ||
  fail "page under default-src 'self': $said"
said=$(/usr/bin/python3 tests/web_drive.py probe "$base/octet/index.html" "squarefield.firstFrameAt > 0")
[ "$(value "$said" value)" = True ] || fail "page.wasm sent as application/octet-stream: no frame ($said)"
# In a sandboxed frame (no worker can be made there) it runs beside the page.
/usr/bin/python3 tests/web_drive.py shot "$base/sandboxed/host.html" "$work" >/dev/null
field_in "$work/shot.png" 400 300 || fail "page in a sandboxed frame: no field in the frame"

# A value holding a control character is refused (the program would read
# ?seed=5%00x as 5).
said=$(/usr/bin/python3 tests/web_drive.py message "$base/index.html?seed=5%00x")
grep -q "\"status\": \"the page's address, seed=5%00x: a value cannot hold control characters." <<<"$said" || fail "page?seed=5%00x: $said"
# Frozen, it draws nothing, and goes on when resumed.
frozen=$(/usr/bin/python3 tests/web_drive.py frozen "$base/index.html") || fail "driving the frozen page: $frozen"
echo "page frozen: $frozen"
[ "$(value "$frozen" frames_while_frozen)" -le 5 ] && [ "$(value "$frozen" frames_in_2s_after)" -ge 100 ] ||
  fail "page frozen: $(value "$frozen" frames_while_frozen) frames while frozen, $(value "$frozen" frames_in_2s_after) in the 2 s after"
# Reduced motion: the first frame and a line, and moving after a key; ?motion=1 moves at once.
still=$(/usr/bin/python3 tests/web_drive.py still "$base/index.html?seed=5" "$work") || fail "driving the page with reduced motion: $still"
echo "page, reduced motion: $still"
[ "$(value "$still" frames_before_key)" = 1 ] && [ "$(value "$still" status_before_key)" = "Press a key or click to start." ] &&
  [ "$(value "$still" frames_after_key)" -ge 60 ] && [ "$(value "$still" status_after_key)" = "" ] || fail "page, reduced motion: $still"
same_as_headless build/default/squarefield "page, reduced motion" "$work/still.png" 1 800 600
still=$(/usr/bin/python3 tests/web_drive.py still "$base/index.html?motion=1" "$work")
[ "$(value "$still" frames_before_key)" -ge 60 ] || fail "page?motion=1, reduced motion: not moving at once ($still)"

# The same page in the other engines: exact on canvas and screen, Escape
# stops it, hidden it draws nothing, a resize (and in Firefox a pixel ratio
# alone, which is not a resize, on both paths) is followed; each on the
# program and path the browser offers.
engines=0
for engine in firefox webkit; do
  engines=$((engines + 1))
  export SQUAREFIELD_ENGINE=$engine
  exact=$(/usr/bin/python3 tests/web_drive.py exact "$base/index.html?seed=5&fps=4" "$work") || fail "$engine: driving the seeded page: $exact"
  echo "$engine, page?seed=5&fps=4: $exact"
  want=page-asyncify
  [ "$(value "$exact" suspends)" = True ] && want=page
  [ "$(value "$exact" program)" = "$want" ] && [ "$(value "$exact" in_worker)" = "$(value "$exact" worker_canvas)" ] ||
    fail "$engine: not the program and path the browser offers: $exact"
  grep -q "^Stopped" <<<"$(value "$exact" status)" || fail "$engine: Escape did not stop it, or the page did not say so"
  same_as_headless build/default/squarefield "$engine: page" "$work/canvas.png" "$(value "$exact" frames)" 800 600
  same_as_headless build/default/squarefield "$engine: page, on screen" "$work/screen.png" "$(value "$exact" frames)" 800 600
  hid=$(/usr/bin/python3 tests/web_drive.py hidden "$base/index.html") || fail "$engine: driving the hidden page: $hid"
  echo "$engine, page hidden: $hid"
  # (WebKitGTK under Xvfb draws about 30 frames a second from its worker.)
  [ "$(value "$hid" frames_while_hidden)" -le 1 ] && [ "$(value "$hid" frames_in_2s_after)" -ge 30 ] || fail "$engine, hidden: $hid"
  result=$(/usr/bin/python3 tests/web_drive.py look "$base/index.html" "$work") || fail "$engine: driving the page: $result"
  [ "$(value "$result" small)" = "[640, 480]" ] || fail "$engine: at 640x480 the canvas is $(value "$result" small)"
  { field_in "$work/small.png" 640 480 || field_in "$work/small-later.png" 640 480; } || fail "$engine: no field after the resize to 640x480"
done
[ "$engines" = 2 ] || fail "the other engines: $engines of 2 run"
ratios=0
for no_worker in "" 1; do
  ratios=$((ratios + 1))
  ratio=$(SQUAREFIELD_ENGINE=firefox SQUAREFIELD_NO_WORKER_CANVAS=$no_worker /usr/bin/python3 tests/web_drive.py ratio "$base/index.html" "$work")
  echo "firefox, pixel ratio 2 and back${no_worker:+, beside the page}: $ratio"
  [ "$(value "$ratio" ratio2)" = "[1600, 1200]" ] && [ "$(value "$ratio" ratio1)" = "[800, 600]" ] &&
    { field_in "$work/ratio2.png" 1600 1200; } || fail "firefox: the pixel ratio alone not followed: $ratio"
done
[ "$ratios" = 2 ] || fail "the pixel ratio: $ratios of 2 paths run"
unset SQUAREFIELD_ENGINE

# The CPU share at the default pace, printed (bench/web_page.sh holds the target).
for size in "1920 1080" "3840 2160"; do
  echo "page CPU: $(/usr/bin/python3 tests/web_drive.py cpu "$base/index.html" $size)"
done

finish_tests web
