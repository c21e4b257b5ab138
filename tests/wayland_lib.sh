# Shared by the Wayland compositor tests (after lib.sh): compositors refuse
# root, so each runs as nobody with a runtime folder of its own ($rt), which
# holds a copy of the program. Usage: wayland_rig WHAT path/to/squarefield
wayland_rig() {
  [ "$(id -u)" = 0 ] || cannot_run "$1" "needs root to run the compositor as nobody"
  rt=$(mktemp -d)
  chown nobody "$rt"; chmod 700 "$rt"
  cp "$2" "$rt/squarefield"
  chmod 755 "$rt/squarefield"
  wl=
}
on_exit() { rm -rf "$rt"; }

# Runs a command as nobody in the rig (WAYLAND_DISPLAY=$wl once set). With
# AS_EXEC set (for a process started in the background) it replaces the
# subshell, so that $! is the process itself and the exit trap ends it.
as() {
  ${AS_EXEC:+exec} setpriv --reuid=nobody --regid=nogroup --clear-groups env -i PATH=/usr/bin:/bin HOME="$rt" XDG_RUNTIME_DIR="$rt" \
    WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 ${wl:+WAYLAND_DISPLAY=$wl} "$@"
}

# Waits up to 15 s for a new Wayland socket in the rig, one not in $wls yet,
# and adds it there; fails with the log's tail. Sets $socket. Usage: await_socket LOG
wls=
await_socket() {
  local s
  for _ in $(seq 150); do
    for s in "$rt"/wayland-*; do
      s=${s##*/}
      [ -S "$rt/$s" ] && [[ $s != *.lock ]] && ! grep -qw -- "$s" <<<"$wls" && { socket=$s; wls="$wls $s"; return 0; }
    done
    sleep 0.1
  done
  echo "FAIL: the compositor made no socket: $(tail -3 "$1")"
  exit 1
}

# Exactness: a seeded slow run stopped between frames, shot by the test's own
# `shot FILE`, and compared with the headless picture of the whole field (lib.sh).
# Usage: exact NAME WIDTH HEIGHT [OPTION...]  (the field's size in pixels)
exact() {
  local name=$1 p
  AS_EXEC=1 as LSAN_OPTIONS=detect_leaks=0 "$rt/squarefield" --seed 5 --fps 4 --trace "$rt/$name.txt" "${@:4}" 2>"$work/err" &
  p=$!
  keep_pid $p
  sleep 3
  kill -STOP $p
  sleep 0.4
  shot "$work/$name.png"
  kill -TERM $p
  kill -CONT $p
  wait $p
  same_as_headless "$bin" "$name" "$work/$name.png" "$(frames_in "$rt/$name.txt")" "$2" "$3"
}

# --wallpaper where the compositor has no background layer for clients:
# refused with status 2 and the reason, never put in a window instead.
wallpaper_refused() {
  AS_EXEC=1 as LSAN_OPTIONS=detect_leaks=0 "$rt/squarefield" --wallpaper 2>"$work/err" &
  local pid=$! status
  keep_pid $pid
  wait $pid
  status=$?
  [ "$status" = 2 ] && grep -q "offers no background layer" "$work/err" ||
    fail "--wallpaper: status $status (not 2), and said '$(cat "$work/err")'"
}

# The program's end when its compositor is killed: status 1 and the one line.
# Usage: dies_with_compositor WHAT PROGRAM-PID COMPOSITOR-PID
dies_with_compositor() {
  kill -9 "$3"
  for _ in $(seq 50); do kill -0 "$2" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$2" 2>/dev/null && { kill -9 "$2"; fail "$1: the compositor gone, the program runs on"; }
  wait "$2"
  local status=$?
  [ "$status" = 1 ] && grep -qx "squarefield: lost the connection to the display" "$work/err" ||
    fail "$1: the compositor gone: status $status (not 1), and said '$(cat "$work/err")'"
}
