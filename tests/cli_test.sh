#!/usr/bin/env bash
# The program as a user runs it headless: exit statuses, messages, the files it
# leaves (and does not leave) behind, repeatability, and shutting down on a signal.
bin=$(realpath "${1:?usage: cli_test.sh path/to/squarefield}")
source "$(dirname "$0")/lib.sh"
cd "$work" || exit 1
# A clean folder to run in, so what a run leaves behind is all there is.
fresh() { cd "$work" && rm -rf scratch && mkdir scratch && cd scratch; }

# Help and version go to stdout with status 0.
"$bin" --help >help.txt 2>&1 || fail "--help exit $?"
grep -q -- "--headless" help.txt || fail "--help lists no --headless"
long=$(awk 'length > 79' help.txt)
[ -z "$long" ] || fail "--help: lines too long for an 80-column console: $long"
[ "$("$bin" --version)" = "squarefield 0.1.0" ] || fail "--version"

# Bad options: status 2, one line naming the option, no file left behind.
bad_option() {
  local opt=${1%%|*} args=${1#*|}
  # shellcheck disable=SC2086
  eval "set -- $args"
  fresh
  timeout 10 "$bin" --headless "$@" >../out.txt 2>../err.txt
  status=$?
  [ "$status" = 2 ] || fail "$args: exit $status, not 2"
  [ "$(wc -l <../err.txt)" = 1 ] || fail "$args: not one line: $(cat ../err.txt)"
  grep -q -- "$opt" ../err.txt || fail "$args: message does not name $opt: $(cat ../err.txt)"
  [ -z "$(ls -A)" ] || fail "$args: left a file behind: $(ls -A)"
  cd "$work" || exit 1
}
run_cases bad_option 15 <<'CASES'
--size|--size 0x768 --trace t.txt --png p.png
--size|--size 1024by768 --trace t.txt
--frames|--frames 0
--frames|--frames -3
--seed|--seed x
--bogus|--bogus
--fps|--fps nan
--fps|--fps -1
--fps|--fps 0x10
--fps|--fps 1e2
--frames|--frames ''
--seed|--seed ''
--png|--png ''
--png|--png -- --trace t.txt
--png|--trace z --png ./z
CASES
"$bin" --headless --frames 1 --trace /no/such/dir/t.txt 2>err.txt
[ $? = 2 ] && grep -q -- "--trace" err.txt || fail "unwritable trace"
# A name with control characters is shown escaped, as a shell takes it back:
# the message stays one line, and nothing in it speaks to the terminal.
escaped_name() {
  local name=$1 shown=$2
  "$bin" --headless --frames 1 --png "$name" 2>err.txt
  local status=$?
  [ "$status" = 2 ] && [ "$(wc -l <err.txt)" = 1 ] && ! grep -q $'\e' err.txt && grep -qF -- "$shown" err.txt ||
    fail "a name with control characters: status $status, said: $(od -c err.txt | head -3)"
}
escaped_name $'\e[31mRED\e[0m/x.png' "\$'\\033[31mRED\\033[0m/x.png'"
escaped_name $'two\nlines/x.png' "\$'two\\nlines/x.png'"

# A name too long for any folder, and a count too large: refused at the check,
# before the run, each saying so.
"$bin" --headless --frames 1 --png "$(printf 'x%.0s' $(seq 300)).png" 2>err.txt
status=$?
[ "$status" = 2 ] && grep -q "File name too long" err.txt || fail "a 304-byte name: status $status, said: $(cat err.txt)"
"$bin" --headless --frames 99999999999999999999 2>err.txt
status=$?
[ "$status" = 2 ] && grep -q "is too large" err.txt || fail "--frames 99999999999999999999: status $status, said: $(cat err.txt)"

# /dev/tty where there is no terminal: refused at the check, with the reason.
setsid -w "$bin" --headless --frames 1 --trace /dev/tty </dev/null >/dev/null 2>err.txt
status=$?
[ "$status" = 2 ] && grep -q "No such device or address" err.txt || fail "--trace /dev/tty with no terminal: status $status, said: $(cat err.txt)"

# A trace whose reader goes away, SIGPIPE ignored: the run ends at once with
# status 1 and the reason, not at the next signal.
(trap '' PIPE; timeout 20 "$bin" --headless --size 64x48 --trace - 2>err.txt; echo $? >status.txt) | head -c 10 >/dev/null
[ "$(cat status.txt)" = 1 ] && [ "$(cat err.txt)" = "squarefield: standard output: Broken pipe" ] ||
  fail "a trace's reader gone: status $(cat status.txt), said: $(cat err.txt)"

# Seeded runs repeat byte for byte, draw exactly --frames frames, and make a PNG.
"$bin" --headless --size 320x240 --frames 40 --seed 7 --trace a.txt --png a.png || fail "seeded run 1"
"$bin" --headless --size 320x240 --frames 40 --seed 7 --trace b.txt --png b.png || fail "seeded run 2"
cmp -s a.txt b.txt || fail "traces differ between identical runs"
cmp -s a.png b.png || fail "images differ between identical runs"
[ "$(grep -c '^DoEvents$' a.txt)" = 40 ] || fail "not 40 frames"
[ "$(head -c 8 a.png | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "not a PNG"
"$bin" --headless --size 320x240 --frames 40 --seed 8 --trace c.txt || fail "seeded run 3"
cmp -s a.txt c.txt && fail "another seed gave the same trace"

# The same bytes as every earlier version of the program: a change that makes
# the effect faster or the code cleaner must not move one pixel or one call.
"$bin" --headless --size 640x360 --frames 200 --seed 11 --trace g.txt --png g.png || fail "golden run"
[ "$(sha256sum <g.txt | cut -c1-64)" = 9912cf59f009dfddb18ad8dca57b09be8b890322a995182b89d828382a891036 ] ||
  fail "the seeded trace changed"
[ "$(sha256sum <g.png | cut -c1-64)" = 0f3f0ed775964aa38faafb053a3ce68356487e78655057226af1b81ac82cc281 ] ||
  fail "the seeded picture changed"

# A runtime error before the first frame: status 1, reported with number, name
# and procedure, and only that; the cursor and brushes are restored; the
# outputs are finished with the screen as the error left it.
gif=""
[ -n "$("$bin" --help | grep -- --gif)" ] && gif="--gif e.gif"
# shellcheck disable=SC2086
"$bin" --headless --size 40000x8 --frames 500 --seed 1 --trace e.txt --png e.png $gif 2>err.txt
[ $? = 1 ] || fail "runtime error: exit not 1"
[ "$(cat err.txt)" = "squarefield: Run-time error 6: Overflow (in ReDimVar)" ] || fail "error report: $(cat err.txt)"
tail -3 e.txt | tr '\n' ' ' | grep -q "ShowCursor 1 -> 0 DeleteObject 4 DeleteObject 5" || fail "not restored after an error"
[ "$(head -c 8 e.png | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "no PNG after an error"
[ -z "$gif" ] || { [ "$(head -c 6 e.gif)" = GIF89a ] && [ "$(tail -c 1 e.gif | od -An -tx1 | tr -d ' ')" = 3b ]; } ||
  fail "no whole GIF after an error"

# SIGTERM and SIGINT end an endless run the way Escape does. (A script's
# background jobs start with SIGINT ignored, which the program keeps: these
# start with it at its default, as from a terminal.)
for sig in TERM INT; do
  env --default-signal=INT "$bin" --headless --size 320x240 --trace s.txt &
  pid=$!
  sleep 0.5
  kill -s "$sig" "$pid"
  wait "$pid"
  status=$?
  [ "$status" = 0 ] || fail "SIG$sig: exit $status"
  tail -4 s.txt | tr '\n' ' ' | grep -q "Unload ShowCursor 1 -> 0 DeleteObject 4 DeleteObject 5" || fail "SIG$sig: no clean shut-down"
  rm -f s.txt
done

# A signal ignored by whoever started it stays ignored: the run goes on through it.
kept_ignored() {
  local sig=$1 pid
  bash -c "trap '' $sig; exec \"\$0\" --headless --size 64x48" "$bin" &
  pid=$!
  sleep 0.5
  kill -s "$sig" "$pid"
  sleep 0.3
  kill -0 "$pid" 2>/dev/null || fail "SIG$sig ignored at start: it ended the run"
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
}
run_cases kept_ignored 4 <<'SIGNALS'
INT
TERM
HUP
QUIT
SIGNALS

# Outputs that are not regular files are written, never replaced; "-" is standard output.
fresh
"$bin" --headless --frames 2 --trace /dev/null || fail "--trace /dev/null"
[ -c /dev/null ] || fail "/dev/null is no longer a device"
"$bin" --headless --frames 2 --seed 1 --trace - >piped.txt || fail "--trace -"
head -1 piped.txt | grep -q "^# squarefield" || fail "--trace -: no trace on standard output"
mkfifo pipe
timeout 20 cat pipe >from-pipe.txt &
"$bin" --headless --frames 2 --seed 1 --trace pipe || fail "--trace FIFO"
wait
[ -p pipe ] && cmp -s piped.txt from-pipe.txt || fail "--trace FIFO: replaced, or not the trace"
# Stopped while it waits for the FIFO's reader: nothing ran, so the signal's own status, no message.
env --default-signal=INT "$bin" --headless --frames 2 --trace pipe 2>err.txt &
pid=$!
sleep 0.5
kill -INT "$pid"
wait "$pid"
status=$?
[ "$status" = 130 ] && [ ! -s err.txt ] || fail "SIGINT while the FIFO waits: exit $status, $(cat err.txt)"
rm -f err.txt
echo old >real.txt
chmod 640 real.txt
ln -s real.txt link.txt
"$bin" --headless --frames 2 --seed 1 --trace link.txt || fail "--trace symlink"
[ -L link.txt ] && cmp -s real.txt piped.txt || fail "--trace symlink: the link was replaced"
[ "$(stat -c %a real.txt)" = 640 ] || fail "the replaced file lost its permissions: $(stat -c %a real.txt)"
# A write-protected file is not replaced (as cp would not), by root neither:
# refused at the option check, status 2, the file as it was.
for mode in 444 400 000; do
  echo precious >ro.png
  chmod "$mode" ro.png
  "$bin" --headless --frames 1 --png ro.png 2>err.txt
  status=$?
  [ "$status" = 2 ] && grep -q "^squarefield: --png: cannot write 'ro.png': Permission denied" err.txt &&
    [ "$(cat ro.png)" = precious ] && [ "$(stat -c %a ro.png)" = "$(printf %o "0$mode")" ] ||
    fail "a write-protected file (mode $mode): status $status, $(cat err.txt), mode now $(stat -c %a ro.png)"
  chmod 644 ro.png
done
rm -f ro.png err.txt
# As root, a replaced file of someone else's stays theirs.
if [ "$(id -u)" = 0 ] && id nobody >/dev/null 2>&1; then
  echo old >theirs.txt
  chown nobody:nogroup theirs.txt
  "$bin" --headless --frames 2 --seed 1 --trace theirs.txt || fail "--trace into another user's file"
  [ "$(stat -c %U:%G theirs.txt)" = nobody:nogroup ] && cmp -s theirs.txt piped.txt ||
    fail "a replaced file of nobody's is now $(stat -c %U:%G theirs.txt)'s"
  rm -f theirs.txt
fi
# Names shaped like the temporaries (.squarefield.XXXXXX), planted as a symlink or
# the user's own file, are left alone.
echo precious >victim.txt
ln -s victim.txt .squarefield.AAAAAA
echo mine >.squarefield.BBBBBB
"$bin" --headless --frames 2 --png x.png --trace y.png || fail "planted temporaries"
[ "$(cat victim.txt)" = precious ] && [ -L .squarefield.AAAAAA ] && [ "$(cat .squarefield.BBBBBB)" = mine ] ||
  fail "a planted file or link was followed or eaten"
# /dev/stdout, /dev/fd/N and a process substitution are the descriptor they
# name, written as it was opened: piped, appended to, never replaced.
"$bin" --headless --frames 2 --seed 1 --trace /dev/stdout | cat >dev-stdout.txt
cmp -s piped.txt dev-stdout.txt || fail "--trace /dev/stdout | cat: not the trace"
echo "earlier line" >app.log
"$bin" --headless --frames 2 --seed 1 --trace /dev/stdout >>app.log || fail "--trace /dev/stdout >>app.log"
{ echo "earlier line"; cat piped.txt; } | cmp -s - app.log || fail "--trace /dev/stdout >>app.log: the earlier lines were not kept"
"$bin" --headless --frames 2 --seed 1 --trace >(cat >substituted.txt) || fail "--trace >(cat)"
for _ in $(seq 20); do cmp -s piped.txt substituted.txt && break; sleep 0.1; done
cmp -s piped.txt substituted.txt || fail "--trace >(cat): not the trace"
"$bin" --headless --frames 2 --trace /dev/fd/9 9>&- 2>err.txt
[ $? = 2 ] && grep -q "descriptor 9 is not open" err.txt || fail "--trace on a closed descriptor: $(cat err.txt)"
"$bin" --headless --frames 2 --trace - --png /proc/self/fd/1 2>err.txt
[ $? = 2 ] && grep -q "also the --trace output" err.txt || fail "standard output named twice: $(cat err.txt)"
# One file for two outputs though it does not exist yet: through a dangling
# symlink, and a chain of them.
ln -s new.out dangling; ln -s dangling chained
"$bin" --headless --frames 2 --trace dangling --png new.out 2>err.txt
[ $? = 2 ] && grep -q "also the --trace output" err.txt && [ ! -e new.out ] || fail "a dangling symlink to the PNG: $(cat err.txt)"
"$bin" --headless --frames 2 --trace chained --gif new.out 2>err.txt
[ $? = 2 ] && grep -q "also the --trace output" err.txt && [ ! -e new.out ] || fail "a chain of symlinks to the GIF: $(cat err.txt)"
rm -f dangling chained
rm -f err.txt
# A name as long as the folder allows: the temporary beside it fits too.
long=$(printf 'a%.0s' $(seq 251)).png
"$bin" --headless --size 32x24 --frames 1 --png "$long" || fail "a 255-character file name"
[ -s "$long" ] || fail "a 255-character file name: not written"
# Every file here is one the test made or asked for: no temporary of any name is left.
left=$(ls -A | tr '\n' ' ')
[ "$left" = ".squarefield.AAAAAA .squarefield.BBBBBB $long app.log dev-stdout.txt from-pipe.txt link.txt pipe piped.txt real.txt substituted.txt victim.txt x.png y.png " ] ||
  fail "outputs: the folder holds $left"
cd "$work" || exit 1

# One output that fails does not take the others with it: each is reported, status 1.
if [ -w /dev/full ]; then
  fresh
  gif=""
  [ -n "$("$bin" --help | grep -- --gif)" ] && gif="--gif g.gif"
  # shellcheck disable=SC2086
  "$bin" --headless --size 64x48 --frames 3 --trace /dev/full --png p.png $gif 2>err.txt
  status=$?
  [ "$status" = 1 ] || fail "/dev/full: exit $status"
  grep -q "^squarefield: /dev/full: No space left on device$" err.txt || fail "/dev/full: $(cat err.txt)"
  [ -s p.png ] || fail "/dev/full: the good PNG was thrown away"
  [ -z "$gif" ] || [ -s g.gif ] || fail "/dev/full: the good GIF was thrown away"
  left=$(ls -A | tr '\n' ' ')
  [ "$left" = "err.txt ${gif:+g.gif }p.png " ] || fail "/dev/full: the folder holds $left"
  "$bin" --version >/dev/full 2>err.txt
  [ $? = 1 ] && grep -q "standard output" err.txt || fail "--version >/dev/full: exit 0 or no message"
  cd "$work" || exit 1
fi

# A full disk is named as one, for the image encoders too; the old file stays, nothing else is left.
if [ "$(id -u)" = 0 ] && command -v unshare >/dev/null; then
  fresh
  mkdir small
  gif=""
  [ -n "$("$bin" --help | grep -- --gif)" ] && gif=yes
  unshare --mount --propagation private sh -c '
    mount -t tmpfs -o size=16k tmpfs small || exit
    echo old >small/p.png; echo old >small/g.gif
    "$0" --headless --size 1024x768 --frames 20 --seed 1 --png small/p.png 2>png.err; echo $? >png.status
    [ -z "$1" ] || "$0" --headless --size 640x480 --frames 200 --seed 1 --gif small/g.gif 2>gif.err; echo $? >gif.status
    ls -A small >left.txt; cat small/p.png small/g.gif >kept.txt' "$bin" "$gif"
  [ "$(cat png.status)" = 1 ] && grep -q "^squarefield: small/p.png: No space left on device$" png.err ||
    fail "a full disk under the PNG: $(cat png.status png.err)"
  [ -z "$gif" ] || { [ "$(cat gif.status)" = 1 ] && grep -q "^squarefield: small/g.gif: No space left on device$" gif.err; } ||
    fail "a full disk under the GIF: $(cat gif.status gif.err)"
  [ "$(cat left.txt | tr '\n' ' ')" = "g.gif p.png " ] && [ "$(cat kept.txt)" = "old
old" ] || fail "a full disk: the folder holds $(cat left.txt) and $(cat kept.txt)"
  cd "$work" || exit 1
fi

fresh
# Out of memory: one line, status 1, no temporary left (not under the sanitizers,
# which reserve more address space than the limit allows).
if [ -z "${SQUAREFIELD_SANITIZED:-}" ]; then
  (ulimit -v 300000; "$bin" --headless --size 8192x8192 --frames 1 --png c.png) 2>../err.txt
  status=$?
  [ "$status" = 1 ] && grep -q "^squarefield: out of memory$" ../err.txt ||
    fail "out of memory: exit $status, $(cat ../err.txt)"
  [ -z "$(ls -A)" ] || fail "out of memory: left $(ls -A)"
fi

# A second stop during a slow shut-down (a large PNG being written) ends it at
# once with the signal's status, and removes the temporary.
fresh
"$bin" --headless --size 8000x8000 --png big.png &
pid=$!
sleep 1
kill -TERM "$pid"
sleep 0.3
kill -TERM "$pid"
wait "$pid"
status=$?
[ "$status" = 143 ] || fail "second SIGTERM: exit $status, not 143"
[ -z "$(ls -A)" ] || fail "second SIGTERM: left $(ls -A)"
cd "$work" || exit 1

# A FIFO for the PNG, which is written at the end, and no reader: one SIGTERM
# ends the run and the wait for a reader together, with 143 and no message
# (an endless run, and one with --frames that waits when the signal comes).
fifo_png() {
  local pid status
  rm -f png.fifo
  mkfifo png.fifo
  "$bin" --headless --size 64x48 $1 --png png.fifo 2>err.txt &
  pid=$!
  sleep 1
  kill -TERM "$pid"
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && { kill -9 "$pid"; fail "--png FIFO ${1:-endless}: one SIGTERM did not end the wait for a reader"; }
  wait "$pid"
  status=$?
  [ "$status" = 143 ] && [ ! -s err.txt ] || fail "--png FIFO ${1:-endless}: status $status, said: $(cat err.txt)"
  rm -f png.fifo err.txt
}
run_cases fifo_png 2 <<'CASES'
--frames=5
--seed=1
CASES

# A stop while a large output is still being set up ends the run cleanly too:
# one frame, a whole GIF (or PNG), and no temporary left.
fresh
out="--png big.png"
[ -n "$("$bin" --help | grep -- --gif)" ] && out="--gif big.gif"
# shellcheck disable=SC2086
env --default-signal=INT "$bin" --headless --size 8000x6000 --frames 50 $out &
pid=$!
sleep 0.2
kill -INT "$pid"
wait "$pid"
status=$?
[ "$status" = 0 ] || fail "SIGINT during set-up: exit $status, not 0"
[ "$(ls -A)" = "${out#* }" ] || fail "SIGINT during set-up: left $(ls -A)"
cd "$work" || exit 1

# Standard output closed: nothing else takes its place (the GIF stays a GIF),
# and the trace that could not be written is one error, status 1.
fresh
"$bin" --headless --size 64x48 --frames 3 --seed 1 --trace - --png p.png >&- 2>../err.txt
status=$?
[ "$status" = 1 ] && [ "$(cat ../err.txt)" = "squarefield: standard output: Bad file descriptor" ] ||
  fail "closed standard output: exit $status, $(cat ../err.txt)"
[ "$(head -c 8 p.png | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "closed standard output: the PNG is not a PNG"
cd "$work" || exit 1

# Any signal that ends the program leaves no temporary: a reader that goes away
# (SIGPIPE, status 141: a pipe's writer ends with it) and the rest of them end
# it with the signal's own status.
ending_signal() {
  local sig=$1 num
  num=$(kill -l "$sig")
  fresh
  if [ "$sig" = PIPE ]; then
    # A GIF, where the build has it, is a temporary from the first frame on.
    # shellcheck disable=SC2046
    timeout -s KILL 20 "$bin" --headless --size 320x240 --trace - --png p.png \
      $("$bin" --help | grep -q -- --gif && echo --gif g.gif) | head -3 >/dev/null
    status=${PIPESTATUS[0]}
  else
    # (A background job starts with SIGQUIT ignored; a program run by a user does not.)
    env --default-signal "$bin" --headless --size 320x240 --trace t.txt --png p.png &
    pid=$!
    sleep 0.4
    kill -s "$sig" "$pid"
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
    wait "$pid"
    status=$?
  fi
  [ "$status" = $((128 + num)) ] || fail "SIG$sig: exit $status, not $((128 + num))"
  [ -z "$(ls -A)" ] || fail "SIG$sig: left $(ls -A | tr '\n' ' ')"
  cd "$work" || exit 1
}
run_cases ending_signal 6 <<'SIGNALS'
PIPE
QUIT
USR1
USR2
ALRM
XCPU
SIGNALS

# SIGHUP ignored by the caller (nohup) stays ignored; SIGTERM still ends the run.
(trap '' HUP; exec "$bin" --headless --size 64x48) &
pid=$!
sleep 0.3
kill -HUP "$pid"
sleep 0.3
kill -0 "$pid" 2>/dev/null || fail "an ignored SIGHUP ended the run"
kill -TERM "$pid"
wait "$pid"
[ $? = 0 ] || fail "SIGTERM after an ignored SIGHUP"

finish_tests cli
