#!/usr/bin/env bash
# Picked in another screensaver daemon, as a MATE user would: mate-screensaver
# finds squarefield by its installed .desktop entry (the only screensaver it is
# shown: its data folders are this install's alone), runs it in its own window
# when activated, and ends it when deactivated, leaving the desktop as it was.
# The daemon refuses root: it and the program run as nobody, in a session bus
# of their own. It runs screensavers only from its own folders, so the
# installed hack's folder is mounted over /usr/libexec/xscreensaver in a mount
# namespace of this test's alone; the machine's folders are not touched.
# Usage: mate_saver_test.sh BUILD_DIR
build=${1:?}
source "$(dirname "$0")/lib.sh"
[ "$(id -u)" = 0 ] || cannot_run mate-screensaver "needs root to run the daemon as nobody"
need mate-screensaver mate-screensaver mate-screensaver mate-screensaver-command
need mate-screensaver dbus dbus-run-session
need mate-screensaver util-linux unshare setpriv
rt=$(mktemp -d)
on_exit() { rm -rf "$rt"; }
cmake --install "$build" --prefix "$rt/prefix" >/dev/null || { echo "FAIL: cmake --install"; exit 1; }
# The hack links to ../../bin, which the mount below would make /usr/bin: the program itself instead.
cp --remove-destination "$rt/prefix/bin/squarefield" "$rt/prefix/libexec/xscreensaver/squarefield"
mkdir -p "$rt/home/.config/glib-2.0/settings"
cat >"$rt/home/.config/glib-2.0/settings/keyfile" <<'SETTINGS'
[org/mate/screensaver]
mode='single'
themes=['screensavers-squarefield']
lock-enabled=false
idle-activation-enabled=false
SETTINGS
chown -R nobody "$rt"
chmod -R a+rX "$rt"

exec 3>"$rt/display"
Xvfb -displayfd 3 -noreset -ac -wr -screen 0 1024x768x24 2>/dev/null &
keep_pid $!
exec 3>&-
for _ in $(seq 50); do [ -s "$rt/display" ] && break; sleep 0.1; done
display=:$(head -1 "$rt/display")
DISPLAY=$display xwd -root | convert xwd:- "$work/desktop.png"

# As the session would: the daemon, then its command line.
cat >"$rt/session.sh" <<SESSION
mate-screensaver --no-daemon --debug >"$rt/daemon.log" 2>&1 &
for _ in \$(seq 100); do mate-screensaver-command --query >/dev/null 2>&1 && break; sleep 0.1; done
mate-screensaver-command --activate
# The daemon's own run (as nobody, like other tests' runs beside this one): its command line.
for _ in \$(seq 100); do pgrep -u nobody -f '^squarefield --root' >/dev/null && break; sleep 0.1; done
pgrep -u nobody -a -f '^squarefield --root' >"$rt/running"
sleep 2.5
xwd -root | convert xwd:- "$rt/active.png"
mate-screensaver-command --deactivate
for _ in \$(seq 50); do pgrep -u nobody -f '^squarefield --root' >/dev/null || break; sleep 0.1; done
pgrep -u nobody -a -f '^squarefield --root' >"$rt/left"
sleep 0.5
xwd -root | convert xwd:- "$rt/after.png"
kill %1
wait
SESSION
chmod 755 "$rt/session.sh"
timeout 60 unshare --mount --propagation private sh -c "
  mkdir -p /usr/libexec/xscreensaver &&
  mount --bind '$rt/prefix/libexec/xscreensaver' /usr/libexec/xscreensaver &&
  exec setpriv --reuid=nobody --regid=nogroup --clear-groups env -i PATH=/usr/bin:/bin HOME='$rt/home' \
    DISPLAY=$display XDG_CURRENT_DESKTOP=MATE XDG_RUNTIME_DIR='$rt' XDG_DATA_DIRS='$rt/prefix/share' \
    GSETTINGS_SCHEMA_DIR=/usr/share/glib-2.0/schemas GSETTINGS_BACKEND=keyfile LSAN_OPTIONS=detect_leaks=0 \
    dbus-run-session -- bash '$rt/session.sh'" >/dev/null 2>&1
echo "the daemon ran: $(cat "$rt/running" 2>/dev/null)"
grep -q "squarefield --root" "$rt/running" 2>/dev/null ||
  fail "activated, the daemon did not run squarefield: $(grep -i "theme\|command" "$rt/daemon.log" | head -3)"
field_in "$rt/active.png" 1024 768 || fail "activated: no field over the screen"
[ -s "$rt/left" ] && fail "deactivated, squarefield still runs: $(cat "$rt/left")"
[ "$(compare -metric AE "$work/desktop.png" "$rt/after.png" null: 2>&1)" = 0 ] ||
  fail "deactivated: the desktop is not as it was"
grep -E "squarefield:|X Error|BadGC|AddressSanitizer|runtime error" "$rt/daemon.log" | head -5 | sed 's/^/daemon log: /'
grep -qE "squarefield:|X Error|BadGC|AddressSanitizer|runtime error" "$rt/daemon.log" &&
  fail "the program said something in the daemon's log"
finish_tests mate-screensaver
