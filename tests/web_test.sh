#!/usr/bin/env bash
# The web build, as a user meets it: built with Debian's emscripten, the page
# served on 127.0.0.1 and loaded in headless Chromium driven over the DevTools
# protocol (field on screen, Escape stops it and the page says so), and the
# same build under node giving the Linux build's seeded trace byte for byte.
set -u
cd "$(dirname "$0")/.."
source tests/lib.sh
export NODE_PATH=/usr/share/nodejs  # Debian's emscripten finds its node modules there

cmake --preset web >/dev/null && cmake --build --preset web || exit 1
[ -f build/default/build.ninja ] || cmake --preset default >/dev/null
cmake --build --preset default >/dev/null || exit 1
ls -l build/web/squarefield.js build/web/squarefield.wasm | awk '{ printf "%s: %d bytes\n", $9, $5 }'

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

# The page, served from this machine only.
mkdir "$work/site"
cp docs/web/index.html build/web/squarefield.js build/web/squarefield.wasm "$work/site/"
(cd "$work/site" && exec /usr/bin/python3 -u -m http.server 0 --bind 127.0.0.1) >"$work/server.log" 2>&1 &
server=$!
keep_pid "$server"
for _ in $(seq 50); do grep -q "port [0-9]*" "$work/server.log" && break; sleep 0.1; done
port=$(grep -o "port [0-9]*" "$work/server.log" | head -1 | cut -d' ' -f2)
[ -n "$port" ] || { fail "the page server did not start"; finish_tests web; exit 1; }

for query in "" "?fps=0"; do
  result=$(/usr/bin/python3 tests/web_drive.py "http://127.0.0.1:$port/index.html$query" "$work") ||
    { fail "driving the page$query: $result"; continue; }
  echo "page$query: $result"
  field_in "$work/running.png" 800 600 || fail "page$query: no field of squares in all four quadrants"
  grep -q '"status": "Stopped' <<<"$result" || fail "page$query: Escape did not stop it, or the page did not say so"
  [ "$(compare -metric AE "$work/stopped-1.png" "$work/stopped-2.png" null: 2>&1)" = 0 ] ||
    fail "page$query: still moving after Escape"
done

finish_tests web
