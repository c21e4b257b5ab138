# Shared by the end-to-end test scripts: a scratch folder, a failure count that
# `finish_tests NAME` reports and turns into the exit status, and servers that
# are all stopped when the script exits, however it exits.
set -u
work=$(mktemp -d)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
finish_tests() {
  echo "$1: $failures failed"
  [ "$failures" = 0 ]
}

# Every process started with `keep_pid PID` is ended (and waited for) on exit,
# then the scratch folder goes, unless KEEP is set. A script that needs more
# done on exit defines `on_exit`, which runs first.
started=()
keep_pid() { started+=("$1"); }
cleanup() {
  if declare -F on_exit >/dev/null; then on_exit; fi
  local pid
  # Under set -e a process already gone must not make the script's status a failure.
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${started[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  if [ -n "${KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

# A test that cannot run here: on a developer's machine it is skipped (status
# 77) and says why; under CI (CI=true) a missing tool is a missing install
# step, so it fails. Usage: cannot_run WHAT WHY  (exits)
cannot_run() {
  if [ "${CI:-}" = true ]; then
    echo "FAIL: $1: $2 (CI installs everything the tests use: see scripts/install-deps)"
    exit 1
  fi
  echo "$1: $2; skipped"
  exit 77
}
# Ends the test through cannot_run unless every COMMAND is there. Usage: need WHAT PACKAGE COMMAND...
need() {
  local what=$1 package=$2 c
  shift 2
  for c in "$@"; do command -v "$c" >/dev/null || cannot_run "$what" "no $c (package $package)"; done
}

# Starts an X server of our own on a free display (the server picks the number
# and writes it once it is ready) and sets $display to it and $server to its pid.
# -noreset: a server that resets when its last client leaves refuses the next
# program that connects during the reset.
# Usage: start_x_server PROGRAM ARGS...
start_x_server() {
  local fd_file
  fd_file=$(mktemp -p "$work" display.XXXXXX)
  "$@" -displayfd 3 -noreset -nolisten tcp 3>"$fd_file" >/dev/null 2>&1 &
  server=$!
  keep_pid "$server"
  for _ in $(seq 100); do [ -s "$fd_file" ] && break; sleep 0.1; done
  [ -s "$fd_file" ] || { echo "FAIL: $1 did not start"; return 1; }
  display=":$(head -1 "$fd_file")"
}

# An Xvfb of our own: exports DISPLAY, and sets $xvfb to its pid.
# Usage: start_xvfb WIDTHxHEIGHT [DEPTH]
start_xvfb() {
  start_x_server Xvfb -screen 0 "$1x${2:-24}" || return 1
  xvfb=$server
  export DISPLAY=$display
}

# Stops one server started above now (the exit trap would do it later).
stop_server() {
  kill "$1" 2>/dev/null
  wait "$1" 2>/dev/null
}

# True when every quarter of the rectangle WxH+X+Y of the picture FILE shows a
# field: mostly black, with some white squares. Usage: field_in FILE W H [X Y]
field_in() {
  local file=$1 w=$2 h=$3 x=${4:-0} y=${5:-0} q m
  for q in "$((w / 2))x$((h / 2))+$x+$y" "$((w / 2))x$((h / 2))+$((x + w / 2))+$y" \
           "$((w / 2))x$((h / 2))+$x+$((y + h / 2))" "$((w / 2))x$((h / 2))+$((x + w / 2))+$((y + h / 2))"; do
    m=$(convert "$file" -crop "$q" +repage -colorspace gray -format '%[fx:mean]' info:)
    awk -v m="$m" 'BEGIN { exit !(m > 0.0005 && m < 0.2) }' || return 1
  done
}

# Exactness: a seeded run (--seed 5) stopped between two frames and its screen
# shot SHOT must be the headless picture of the same size, seed and frame count
# FRAMES; the frame before and after are tried too, as the stop may fall around
# a frame's present. Usage: same_as_headless BIN WHAT SHOT FRAMES WIDTH HEIGHT
same_as_headless() {
  local bin=$1 what=$2 shot=$3 k=$4 w=$5 h=$6 f
  for f in $k $((k - 1)) $((k + 1)); do
    [ "$f" -ge 1 ] || continue
    "$bin" --headless --size "${w}x$h" --seed 5 --frames "$f" --png "$work/headless-$f.png" 2>/dev/null
    [ "$(compare -metric AE "$shot" "$work/headless-$f.png" null: 2>&1)" = 0 ] && { echo "$what: the screen is the headless frame $f"; return 0; }
  done
  fail "$what: the screen is not the headless picture of frame $k ($(compare -metric AE "$shot" "$work/headless-$k.png" null: 2>&1) pixels differ)"
}

# The frames a run's TRACE drew before a stop: the polls that saw no Escape.
frames_in() { grep -c "^GetAsyncKeyState 27 -> 0$" "$1"; }

# Runs a list of cases, one per line on standard input, through the function
# named $1, and fails unless exactly $2 ran: a loop that runs none passes nothing.
# Usage: run_cases FUNCTION COUNT <<'CASES' ... CASES
run_cases() {
  local fn=$1 want=$2 ran=0 line
  while IFS= read -r line; do
    [ -n "$line" ] || continue
    "$fn" "$line" </dev/null
    ran=$((ran + 1))
  done
  echo "$fn: $ran cases"
  [ "$ran" = "$want" ] || fail "$fn: ran $ran cases, not $want"
}
