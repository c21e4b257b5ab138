#!/usr/bin/env bash
# The program as a user runs it headless: exit statuses, messages, the files it
# leaves (and does not leave) behind, repeatability, and shutting down on a signal.
bin=${1:?usage: cli_test.sh path/to/squarefield}
source "$(dirname "$0")/lib.sh"
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

# Help and version go to stdout with status 0.
"$bin" --help >help.txt 2>&1 || fail "--help exit $?"
grep -q -- "--headless" help.txt || fail "--help lists no --headless"
[ "$("$bin" --version)" = "squarefield 0.1.0" ] || fail "--version"

# Bad options: status 2, one line naming the option, no file left behind.
while IFS='|' read -r opt args; do
  # shellcheck disable=SC2086
  "$bin" --headless --trace t.txt --png p.png $args >out.txt 2>err.txt
  status=$?
  [ "$status" = 2 ] || fail "$args: exit $status, not 2"
  [ "$(wc -l <err.txt)" = 1 ] || fail "$args: not one line: $(cat err.txt)"
  grep -q -- "$opt" err.txt || fail "$args: message does not name $opt: $(cat err.txt)"
  [ ! -e t.txt ] && [ ! -e p.png ] || fail "$args: left a file behind"
  rm -f t.txt p.png
done <<'CASES'
--size|--size 0x768
--size|--size 1024by768
--frames|--frames 0
--frames|--frames -3
--seed|--seed x
--bogus|--bogus
CASES
"$bin" --headless --frames 1 --trace /no/such/dir/t.txt 2>err.txt
[ $? = 2 ] && grep -q -- "--trace" err.txt || fail "unwritable trace"

# Seeded runs repeat byte for byte, draw exactly --frames frames, and make a PNG.
"$bin" --headless --size 320x240 --frames 40 --seed 7 --trace a.txt --png a.png || fail "seeded run 1"
"$bin" --headless --size 320x240 --frames 40 --seed 7 --trace b.txt --png b.png || fail "seeded run 2"
cmp -s a.txt b.txt || fail "traces differ between identical runs"
cmp -s a.png b.png || fail "images differ between identical runs"
[ "$(grep -c '^DoEvents$' a.txt)" = 40 ] || fail "not 40 frames"
[ "$(head -c 8 a.png | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "not a PNG"
"$bin" --headless --size 320x240 --frames 40 --seed 8 --trace c.txt || fail "seeded run 3"
cmp -s a.txt c.txt && fail "another seed gave the same trace"

# A runtime error: status 1, reported with number, name and procedure; the
# cursor and brushes are restored; no image is written.
"$bin" --headless --size 40000x8 --frames 5 --seed 1 --trace e.txt --png e.png 2>err.txt
[ $? = 1 ] || fail "runtime error: exit not 1"
grep -q "Run-time error 6: Overflow (in ReDimVar)" err.txt || fail "error report: $(cat err.txt)"
tail -3 e.txt | tr '\n' ' ' | grep -q "ShowCursor 1 -> 0 DeleteObject 4 DeleteObject 5" || fail "not restored after an error"
[ ! -e e.png ] || fail "image written after an error"

# SIGTERM and SIGINT end an endless run the way Escape does.
for sig in TERM INT; do
  "$bin" --headless --size 320x240 --trace s.txt &
  pid=$!
  sleep 0.5
  kill -s "$sig" "$pid"
  wait "$pid"
  status=$?
  [ "$status" = 0 ] || fail "SIG$sig: exit $status"
  tail -4 s.txt | tr '\n' ' ' | grep -q "Unload ShowCursor 1 -> 0 DeleteObject 4 DeleteObject 5" || fail "SIG$sig: no clean shut-down"
  rm -f s.txt
done

finish_tests cli
