#!/usr/bin/env bash
# End to end with the real X screensaver daemon, as a user has it: the program
# on the daemon's programs: line with --root; activating the daemon shows the
# field within 3 s; a key press unblanks, and the daemon's SIGTERM ends the
# program through its own clean shut-down. The daemon will not run effects as
# root, so it runs as nobody. Usage: daemon_test.sh path/to/squarefield
bin=${1:?}
source "$(dirname "$0")/lib.sh"
[ "$(id -u)" = 0 ] || cannot_run daemon "needs root to run the daemon as nobody"
need daemon xscreensaver xscreensaver xscreensaver-command
need daemon util-linux setpriv
as_nobody() { setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME="$work/home" DISPLAY="$DISPLAY" "$@"; }
chmod 755 "$work"
mkdir -p "$work/bin" "$work/home"
cp "$bin" "$work/bin/squarefield"
chmod 755 "$work/bin" "$work/bin/squarefield"
cat >"$work/home/.xscreensaver" <<EOT
mode: one
selected: 0
lock: False
fade: False
unfade: False
splash: False
timeout: 0:30:00
programs: $work/bin/squarefield --root --trace $work/home/trace.txt \n
EOT
chown -R nobody:nogroup "$work/home"

start_xvfb 1024x768 || exit 1
as_nobody xscreensaver --no-splash >"$work/daemon.log" 2>&1 &
daemon=$!
keep_pid "$daemon"
for _ in $(seq 50); do as_nobody xscreensaver-command -version >/dev/null 2>&1 && break; sleep 0.1; done
as_nobody xscreensaver-command -activate >/dev/null || fail "the daemon did not take -activate"

# Within 3 s: white squares on black in all four quarters. (While the daemon
# blanks, a screenshot can fail once on a colour map: try again.)
ok=0
for _ in $(seq 6); do
  sleep 0.5
  xwd -root -silent 2>/dev/null | convert xwd:- "$work/shot.png" 2>/dev/null || continue
  ok=0
  field_in "$work/shot.png" 1024 768 && ok=1 && break
done
[ "$ok" = 1 ] || fail "no field on the screen within 3 s of -activate; daemon said: $(tail -3 "$work/daemon.log")"
pgrep -f "$work/bin/squarefield" >/dev/null || fail "the program is not running under the daemon"

# A key press unblanks; the daemon ends the program with SIGTERM. (Right after
# blanking the daemon ignores input for a moment, so press again until it listens.)
for _ in $(seq 10); do
  xdotool key Escape
  for _ in $(seq 10); do pgrep -f "$work/bin/squarefield" >/dev/null || break; sleep 0.1; done
  pgrep -f "$work/bin/squarefield" >/dev/null || break
done
pgrep -f "$work/bin/squarefield" >/dev/null && fail "still running 10 s after the first key press"
tail -4 "$work/home/trace.txt" | tr '\n' ' ' | grep -q "Unload ShowCursor 1 -> 0 DeleteObject 4 DeleteObject 5" ||
  fail "no clean shut-down in the trace: $(tail -4 "$work/home/trace.txt" | tr '\n' ' ')"

finish_tests daemon
